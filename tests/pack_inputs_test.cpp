#include <gtest/gtest.h>

#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::string rootOf(const std::vector<fs::path>& inputs) {
    return Pack::commonRoot(inputs).string();
}

}  // namespace

TEST(CommonRootTest, OneFileOrMissingPathGivesItsParent) {
    TempDir dir;
    writeFile(dir / "notes.txt", "n\n");
    EXPECT_EQ(rootOf({dir / "notes.txt"}), dir.path().string());
    EXPECT_EQ(rootOf({dir / "missing"}), dir.path().string());
}

TEST(CommonRootTest, OneFolderIsItsOwnRoot) {
    TempDir dir;
    fs::create_directory(dir / "proj");
    EXPECT_EQ(rootOf({dir / "proj"}), (dir / "proj").string());
}

TEST(CommonRootTest, SeveralInputsShareTheirParentsLeadingFolders) {
    EXPECT_EQ(rootOf({"/u/p/a.txt", "/u/p/b.txt"}), "/u/p");
    EXPECT_EQ(rootOf({"/u/p/a/x.txt", "/u/p/b/c/y.txt", "/u/p/a/z.txt"}), "/u/p");
    EXPECT_EQ(rootOf({"/u/x/a.txt", "/v/y/b.txt"}), "/");
}

TEST(CommonRootTest, FoldersCountByTheirParentsToo) {
    TempDir dir;
    writeFile(dir / "q/r.txt", "r\n");
    fs::create_directory(dir / "s");
    EXPECT_EQ(rootOf({dir / "q", dir / "q/r.txt"}), dir.path().string());
    EXPECT_EQ(rootOf({dir / "q", dir / "s"}), dir.path().string());
}

TEST(CommonRootTest, DotSegmentsAreResolvedBeforeComparing) {
    EXPECT_EQ(rootOf({"/u/p/./a.txt", "/u/p/sub/../b.txt"}), "/u/p");
    // "/u/p/q/.." names the folder /u/p, whose parent is /u.
    EXPECT_EQ(rootOf({"/u/p/q/..", "/u/p/a.txt"}), "/u");
}

TEST(CommonRootTest, ComponentsCompareWhole) {
    EXPECT_EQ(rootOf({"/u/pa/a.txt", "/u/pb/b.txt"}), "/u");
}

TEST(TitleForTest, OneInputGivesItsNameSeveralGiveACount) {
    EXPECT_EQ(Pack::titleFor({"/u/p/notes.txt"}), "notes.txt");
    EXPECT_EQ(Pack::titleFor({"/u/p/proj/"}), "proj");
    EXPECT_EQ(Pack::titleFor({"/a", "/b", "/a"}), "3 items");
    EXPECT_EQ(Pack::titleFor({"/u/p\xE9"}), "p\uFFFD");
}

TEST(PackInputsTest, FolderIsPackedUnderItsOwnName) {
    TempDir dir;
    writeFile(dir / "demo/README.md", "Hello\n");
    writeFile(dir / "demo/src/main.swift", "print(1)");
    writeFile(dir / "demo/logo.png", "png");
    auto packed = Pack::packInputs({dir / "demo"});
    EXPECT_EQ(packed.root, dir / "demo");
    EXPECT_EQ(packed.title, "demo");
    EXPECT_EQ(packed.result.markdown.rfind(
                  "# Context: demo\n\n## Files (2)\n\n- `README.md`\n- `src/main.swift`\n\n", 0),
              0u);
}

TEST(PackInputsTest, GivenTitleReplacesTheUsualOne) {
    TempDir dir;
    writeFile(dir / "a.txt", "a\n");
    writeFile(dir / "b.txt", "b\n");
    auto usual = Pack::packInputs({dir / "a.txt", dir / "b.txt"});
    EXPECT_EQ(usual.title, "2 items");
    EXPECT_EQ(usual.result.markdown.rfind("# Context: 2 items\n\n## Files (2)", 0), 0u);
    auto given = Pack::packInputs({dir / "a.txt", dir / "b.txt"}, "mine");
    EXPECT_EQ(given.result.markdown.rfind("# Context: mine\n\n", 0), 0u);
}

TEST(PackInputsTest, SkippedLinesAndDuplicatesReachTheResult) {
    TempDir dir;
    writeFile(dir / "p/a.txt", "same\n");
    writeFile(dir / "p/b.txt", "same\n");
    writeFile(dir / "p/bad.txt", "\xFF");
    auto packed = Pack::packInputs({dir / "p"});
    EXPECT_EQ(packed.result.fileCount, 1);
    EXPECT_EQ(packed.result.duplicates, 1);
    EXPECT_EQ(packed.result.skipped, (Strings{"bad.txt — not text"}));
}
