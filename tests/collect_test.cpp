#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tessaly/collect.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

// Kept files as paths below `base` (the whole path when outside it), in collection order.
Strings kept(const Collect::Collected& c, const fs::path& base) {
    Strings out;
    const std::string prefix = base.string() + "/";
    for (const auto& f : c.files) {
        std::string s = f.path;
        out.push_back(s.rfind(prefix, 0) == 0 ? s.substr(prefix.size()) : s);
    }
    return out;
}

std::string withNulAt(std::size_t size, std::size_t at) {
    std::string s(size, 'a');
    s[at] = '\0';
    return s;
}

}  // namespace

TEST(TextTest, WholeBufferMustBeUtf8ButOnlyTheSniffWindowIsSearchedForNul) {
    EXPECT_TRUE(Collect::isText(""));
    EXPECT_FALSE(Collect::isText(std::string(9000, 'a') + "caf\xE9"));
    EXPECT_FALSE(Collect::isText(std::string_view("a\0b", 3)));
}

class CollectTest : public testing::Test {
  protected:
    Collect::Collected collect(const std::vector<fs::path>& inputs, Collect::Options o = {}) {
        return Collect::files(inputs, o);
    }
    TempDir dir_;
};

TEST_F(CollectTest, EmptyInputListGivesNothing) {
    auto c = collect({});
    EXPECT_TRUE(c.files.empty());
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, FileOfExactlyTheSizeLimitIsKeptWhole) {
    writeFile(dir_ / "edge.txt", std::string(1'000'000, 'x'));
    auto c = collect({dir_ / "edge.txt"});
    ASSERT_EQ(c.files.size(), 1u);
    EXPECT_EQ(c.files[0].data.size(), 1'000'000u);
    EXPECT_EQ(c.files[0].path, dir_ / "edge.txt");
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, FileOneByteOverTheLimitIsTooLarge) {
    writeFile(dir_ / "data.json", std::string(1'000'001, 'x'));
    auto c = collect({dir_.path()});
    EXPECT_TRUE(c.files.empty());
    EXPECT_EQ(c.skipped, (Strings{"data.json — too large"}));
}

TEST_F(CollectTest, NulAtByte7999RejectsButAt8000Keeps) {
    writeFile(dir_ / "a.txt", withNulAt(9000, 7999));
    writeFile(dir_ / "b.txt", withNulAt(9000, 8000));
    auto c = collect({dir_.path()});
    EXPECT_EQ(kept(c, dir_.path()), (Strings{"b.txt"}));
    EXPECT_EQ(c.skipped, (Strings{"a.txt — not text"}));
}

TEST_F(CollectTest, Latin1FileIsNotTextAndEmptyFileIsKept) {
    writeFile(dir_ / "latin1.txt", "caf\xE9 cr\xE8me\n");
    writeFile(dir_ / "empty.txt", "");
    auto c = collect({dir_ / "latin1.txt", dir_ / "empty.txt"});
    EXPECT_EQ(kept(c, dir_.path()), (Strings{"empty.txt"}));
    EXPECT_EQ(c.skipped, (Strings{"latin1.txt — not text"}));
}

TEST_F(CollectTest, BinaryExtensionsAreDroppedSilentlyWhateverTheirCase) {
    for (const char* e : {"svg", "lock", "so", "woff2", "sqlite3", "xcuserstate"})
        writeFile(dir_ / (std::string("f.") + e), "plain text\n");
    // Text content on purpose: these must not even be read.
    writeFile(dir_ / "logo.PNG", "text\n");
    writeFile(dir_ / "Photo.Jpeg", "text\n");
    writeFile(dir_ / "svg.txt", "only the extension counts\n");
    writeFile(dir_ / "Makefile", "all:\n");
    auto c = collect({dir_.path()});
    EXPECT_EQ(kept(c, dir_.path()), (Strings{"Makefile", "svg.txt"}));
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, SkipDirsArePrunedCaseSensitively) {
    for (const char* n : {"node_modules", "build", "Pods", "target", "__pycache__", "env"})
        writeFile(dir_ / "p" / n / "f.txt", std::string(n) + "\n");
    writeFile(dir_ / "p/pods/f.txt", "pods\n");
    writeFile(dir_ / "p/Build/f.txt", "Build\n");
    writeFile(dir_ / "p/src/build.txt", "a file named like a folder\n");
    auto c = collect({dir_ / "p"});
    EXPECT_EQ(kept(c, dir_ / "p"), (Strings{"Build/f.txt", "pods/f.txt", "src/build.txt"}));
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, InputFolderIsWalkedEvenWhenNamedLikeSkipDirOrHidden) {
    writeFile(dir_ / "node_modules/x.js", "x\n");
    writeFile(dir_ / ".config/y.txt", "y\n");
    auto c = collect({dir_ / "node_modules", dir_ / ".config"});
    EXPECT_EQ(kept(c, dir_.path()), (Strings{"node_modules/x.js", ".config/y.txt"}));
}

TEST_F(CollectTest, HiddenEntriesAreSkippedInsideFoldersButNotWhenGivenDirectly) {
    writeFile(dir_ / "p/.env", "SECRET=1\n");
    writeFile(dir_ / "p/.hidden/inner.txt", "inner\n");
    writeFile(dir_ / "p/visible.txt", "visible\n");
    EXPECT_EQ(kept(collect({dir_ / "p"}), dir_ / "p"), (Strings{"visible.txt"}));
    EXPECT_EQ(kept(collect({dir_ / "p/.env"}), dir_ / "p"), (Strings{".env"}));
}

TEST_F(CollectTest, DsStoreIsDroppedSilentlyEvenWhenGivenDirectly) {
    writeFile(dir_ / ".DS_Store", "text that would pass\n");
    auto c = collect({dir_ / ".DS_Store"});
    EXPECT_TRUE(c.files.empty());
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, LinksInsideFoldersAreNeverCollectedNorFollowed) {
    writeFile(dir_ / "outside/secret.txt", "outside\n");
    writeFile(dir_ / "p/real.txt", "real\n");
    fs::create_symlink(dir_ / "outside/secret.txt", dir_ / "p/file-link.txt");
    fs::create_directory_symlink(dir_ / "outside", dir_ / "p/dir-link");
    fs::create_directory_symlink(dir_ / "p", dir_ / "p/self");
    auto c = collect({dir_ / "p"});
    EXPECT_EQ(kept(c, dir_ / "p"), (Strings{"real.txt"}));
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, LinkGivenDirectlyIsReadThroughAndKeepsItsOwnPath) {
    writeFile(dir_ / "target.txt", "through the link\n");
    fs::create_symlink(dir_ / "target.txt", dir_ / "link.txt");
    auto c = collect({dir_ / "link.txt"});
    ASSERT_EQ(c.files.size(), 1u);
    EXPECT_EQ(c.files[0].path, dir_ / "link.txt");
    EXPECT_EQ(c.files[0].data, "through the link\n");
}

TEST_F(CollectTest, MissingInputIsIgnoredWithoutALine) {
    writeFile(dir_ / "a.txt", "a\n");
    auto c = collect({dir_ / "missing.txt", dir_ / "a.txt", dir_ / "gone/folder"});
    EXPECT_EQ(kept(c, dir_.path()), (Strings{"a.txt"}));
    EXPECT_EQ(c.skipped, Strings{});
}

TEST_F(CollectTest, OverlappingInputsGiveOneRecordEach) {
    writeFile(dir_ / "p/a.txt", "a\n");
    auto c = collect({dir_ / "p/a.txt", dir_ / "p", dir_ / "p/a.txt"});
    EXPECT_EQ(kept(c, dir_.path()), (Strings{"p/a.txt", "p/a.txt", "p/a.txt"}));
}

TEST_F(CollectTest, RejectedFilesAreListedByNameInTheOrderMet) {
    writeFile(dir_ / "p/a/notes.txt", "\xFF\n");
    writeFile(dir_ / "p/b/notes.txt", "\xFE\n");
    writeFile(dir_ / "p/c.txt", std::string(1'000'001, 'c'));
    auto c = collect({dir_ / "p"});
    EXPECT_EQ(c.skipped,
              (Strings{"notes.txt — not text", "notes.txt — not text", "c.txt — too large"}));
}

TEST_F(CollectTest, InputsInOrderGivenFoldersDepthFirstInByteOrder) {
    writeFile(dir_ / "t/b.txt", "b\n");
    writeFile(dir_ / "t/a/z.txt", "z\n");
    writeFile(dir_ / "t/a/y/x.txt", "x\n");
    writeFile(dir_ / "t/A.txt", "A\n");
    writeFile(dir_ / "t/c.txt", "c\n");
    writeFile(dir_ / "first.txt", "first\n");
    auto c = collect({dir_ / "first.txt", dir_ / "t"});
    EXPECT_EQ(kept(c, dir_.path()),
              (Strings{"first.txt", "t/A.txt", "t/a/y/x.txt", "t/a/z.txt", "t/b.txt", "t/c.txt"}));
}

TEST_F(CollectTest, ExcludedFileIsDroppedSilentlyWhereverMet) {
    writeFile(dir_ / "p/out.md", "# an earlier document\n");
    writeFile(dir_ / "p/keep.md", "keep\n");
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "p/out.md").c_str(), &st), 0);
    Collect::Options o;
    o.excluded.push_back({st.st_dev, st.st_ino});
    auto c = collect({dir_ / "p", dir_ / "p/out.md"}, o);
    EXPECT_EQ(kept(c, dir_ / "p"), (Strings{"keep.md"}));
    EXPECT_EQ(c.skipped, Strings{});
}
