#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tessaly/pack.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

const fs::path kRoot = "/work/demo";

std::vector<Collect::CollectedFile> filesAt(
    const std::vector<std::pair<std::string, std::string>>& relAndBody) {
    std::vector<Collect::CollectedFile> files;
    for (const auto& [rel, body] : relAndBody)
        files.push_back({kRoot / rel, body});
    return files;
}

// The paths of the document's file list, in document order.
Strings listed(const std::string& markdown) {
    Strings out;
    const std::string end = "\n---\n\n";
    const std::string list = markdown.substr(0, markdown.find(end));
    for (size_t at = list.find("\n- `"); at != std::string::npos; at = list.find("\n- `", at + 1)) {
        size_t start = at + 4;
        out.push_back(list.substr(start, list.find("`\n", start) - start));
    }
    return out;
}

Strings orderOf(const Strings& rels) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& r : rels)
        files.emplace_back(r, "content of " + r + "\n");
    return listed(Pack::build(filesAt(files), kRoot, {}, "t").markdown);
}

}  // namespace

TEST(PackBuildTest, TwoFileExampleComesOutByteForByte) {
    // Handed over source first: the README must still lead.
    auto r = Pack::build(filesAt({{"src/main.swift", "print(1)"}, {"README.md", "Hello\n"}}), kRoot,
                         {}, "demo");
    const std::string expected =
        "# Context: demo\n\n## Files (2)\n\n- `README.md`\n- `src/main.swift`\n\n---\n\n"
        "## `README.md`\n\n```markdown\nHello\n```\n\n"
        "## `src/main.swift`\n\n```swift\nprint(1)\n```\n\n";
    ASSERT_EQ(expected.size(), 153u);
    EXPECT_EQ(r.markdown, expected);
    EXPECT_EQ(r.fileCount, 2);
    EXPECT_EQ(r.tokenEstimate, 38);
    EXPECT_EQ(r.byteCount, 153);
    EXPECT_EQ(r.duplicates, 0);
    EXPECT_FALSE(r.overLimit());
}

TEST(PackBuildTest, EmptyDocumentEndsWithTheSeparator) {
    auto r = Pack::build({}, kRoot, {}, "x");
    EXPECT_EQ(r.markdown, "# Context: x\n\n## Files (0)\n\n\n---\n\n");
    EXPECT_EQ(r.tokenEstimate, 8);
    EXPECT_EQ(r.byteCount, 34);
    EXPECT_EQ(r.fileCount, 0);
    EXPECT_EQ(r.duplicates, 0);
}

TEST(PackBuildTest, TitleDefaultsToRootNameAndEmptyTitleIsKept) {
    EXPECT_EQ(Pack::build({}, kRoot, {}).markdown.rfind("# Context: demo\n\n", 0), 0u);
    EXPECT_EQ(Pack::build({}, kRoot, {}, "").markdown.rfind("# Context: \n\n## Files", 0), 0u);
}

TEST(PackBuildTest, FirstFileWithGivenContentIsKept) {
    auto ab = Pack::build(filesAt({{"a/x.txt", "same\n"}, {"b/x.txt", "same\n"}}), kRoot, {}, "t");
    EXPECT_EQ(listed(ab.markdown), (Strings{"a/x.txt"}));
    EXPECT_EQ(ab.duplicates, 1);
    EXPECT_EQ(ab.fileCount, 1);
    auto ba = Pack::build(filesAt({{"b/x.txt", "same\n"}, {"a/x.txt", "same\n"}}), kRoot, {}, "t");
    EXPECT_EQ(listed(ba.markdown), (Strings{"b/x.txt"}));
}

TEST(PackBuildTest, EqualNamesWithDifferentBytesAreBothKept) {
    auto r = Pack::build(filesAt({{"a/x.txt", "one\n"}, {"b/x.txt", "one \n"}}), kRoot, {}, "t");
    EXPECT_EQ(listed(r.markdown), (Strings{"a/x.txt", "b/x.txt"}));
    EXPECT_EQ(r.duplicates, 0);
}

TEST(PackBuildTest, EmptyFilesAreDuplicatesOfTheFirst) {
    auto r = Pack::build(filesAt({{"c.txt", ""}, {"a.txt", ""}, {"b.txt", ""}}), kRoot, {}, "t");
    EXPECT_EQ(listed(r.markdown), (Strings{"c.txt"}));
    EXPECT_EQ(r.duplicates, 2);
}

TEST(PackBuildTest, BlockAddsALineFeedOnlyWhenTheBodyLacksOne) {
    auto section = [](const std::string& body) {
        auto md = Pack::build(filesAt({{"f.txt", body}}), kRoot, {}, "t").markdown;
        return md.substr(md.find("## `f.txt`\n\n") + 12);
    };
    EXPECT_EQ(section(""), "```\n\n```\n\n");
    EXPECT_EQ(section("a\n"), "```\na\n```\n\n");
    EXPECT_EQ(section("a\n\n"), "```\na\n\n```\n\n");
    EXPECT_EQ(section("a"), "```\na\n```\n\n");
}

TEST(PackBuildTest, BlockFenceOutgrowsBackticksInTheFileAndTagFollowsIt) {
    auto md = Pack::build(filesAt({{"doc.md", "x\n```py\ny\n```\n"}}), kRoot, {}, "t").markdown;
    EXPECT_NE(md.find("## `doc.md`\n\n````markdown\nx\n```py\ny\n```\n````\n\n"), std::string::npos)
        << md;
}

TEST(PackBuildTest, FiguresDescribeTheFinishedDocument) {
    // 40 é: 80 bytes but 40 characters, so bytes and characters differ.
    std::string body;
    for (int i = 0; i < 40; ++i)
        body += "é";
    auto r = Pack::build(filesAt({{"accents.txt", body}}), kRoot, {}, "t");
    EXPECT_EQ(r.byteCount, static_cast<std::int64_t>(r.markdown.size()));
    EXPECT_EQ(r.tokenEstimate, (static_cast<std::int64_t>(r.markdown.size()) - 40) / 4);
}

TEST(PackBuildTest, OverLimitOnlyAboveTwoHundredThousandTokens) {
    // Document without the body: 65 characters; body of n letters plus its line feed.
    auto withBody = [](std::size_t letters) {
        return Pack::build(filesAt({{"a.txt", std::string(letters, 'a') + "\n"}}), kRoot, {}, "x");
    };
    auto at = withBody(799'934);
    ASSERT_EQ(at.byteCount, 800'000);
    EXPECT_EQ(at.tokenEstimate, 200'000);
    EXPECT_FALSE(at.overLimit());
    auto above = withBody(799'938);
    EXPECT_EQ(above.tokenEstimate, 200'001);
    EXPECT_TRUE(above.overLimit());
}

TEST(PackOrderTest, ReadmesThenTopLevelThenSubfoldersEachInNaturalOrder) {
    EXPECT_EQ(
        orderOf({"src/b/c.py", "setup.cfg", "README.md", "src/a.py", "main.py", "docs/README.md"}),
        (Strings{"docs/README.md", "README.md", "main.py", "setup.cfg", "src/a.py", "src/b/c.py"}));
}

TEST(PackOrderTest, DigitRunsCompareByValue) {
    EXPECT_EQ(orderOf({"file10.txt", "file2.txt", "file1.txt"}),
              (Strings{"file1.txt", "file2.txt", "file10.txt"}));
}

TEST(PackOrderTest, CaseDoesNotDecideTheOrder) {
    EXPECT_EQ(orderOf({"Zeta.md", "alpha.md", "Beta.md"}),
              (Strings{"alpha.md", "Beta.md", "Zeta.md"}));
}

TEST(PackOrderTest, NamesEqualButForCaseKeepCollectionOrder) {
    EXPECT_EQ(orderOf({"B.txt", "b.txt"}), (Strings{"B.txt", "b.txt"}));
    EXPECT_EQ(orderOf({"b.txt", "B.txt"}), (Strings{"b.txt", "B.txt"}));
}

TEST(PackOrderTest, FileOutsideRootIsShownByNameAmongTopLevelFiles) {
    std::vector<Collect::CollectedFile> files{{kRoot / "src/a.py", "a\n"},
                                              {"/elsewhere/zz.txt", "zz\n"},
                                              {kRoot / "b.txt", "b\n"},
                                              {"/elsewhere/readme.txt", "r\n"}};
    auto r = Pack::build(files, kRoot, {}, "t");
    EXPECT_EQ(listed(r.markdown), (Strings{"readme.txt", "b.txt", "zz.txt", "src/a.py"}));
}

TEST(PackRankTest, ReadmeByLastComponentThenDepth) {
    for (const char* p : {"README.md", "readme.txt", "ReadMe", "docs/README.md", "readme_old.py"})
        EXPECT_EQ(Pack::rank(p), 0) << p;
    EXPECT_EQ(Pack::rank("main.py"), 1);
    EXPECT_EQ(Pack::rank("my-readme.txt"), 1);
    EXPECT_EQ(Pack::rank("src/a.py"), 2);
    EXPECT_EQ(Pack::rank("readme/notes.txt"), 2);
}

TEST(PackRelPathTest, PathBelowRootIsRelative) {
    EXPECT_EQ(Pack::relPath("/u/p/src/main.swift", "/u/p"), "src/main.swift");
    EXPECT_EQ(Pack::relPath("/u/p/src/main.swift", "/u/p/"), "src/main.swift");
}

TEST(PackRelPathTest, PathOutsideRootIsTheBareName) {
    EXPECT_EQ(Pack::relPath("/u/other/a.txt", "/u/p"), "a.txt");
    EXPECT_EQ(Pack::relPath("/u/pq/a.txt", "/u/p"), "a.txt");
    EXPECT_EQ(Pack::relPath("/u/p/a.txt", "/u/P"), "a.txt");
}

TEST(PackRelPathTest, DotSegmentsAreResolvedOnBothSides) {
    EXPECT_EQ(Pack::relPath("/u/p/./src/../a.txt", "/u/p"), "a.txt");
    EXPECT_EQ(Pack::relPath("/u/p/x/y.txt", "/u/p/."), "x/y.txt");
    EXPECT_EQ(Pack::relPath("/u/p/x/y.txt", "/u/q/../p"), "x/y.txt");
    EXPECT_EQ(Pack::relPath("/u/p/../q/y.txt", "/u/p"), "y.txt");
}

TEST(PackRelPathTest, FileSystemRootKeepsThePathBelowIt) {
    EXPECT_EQ(Pack::relPath("/u/x/a.txt", "/"), "u/x/a.txt");
}

TEST(TokenEstimateTest, AtLeastOneThenAQuarterOfTheCharacters) {
    EXPECT_EQ(Pack::estimateTokens(""), 1);
    EXPECT_EQ(Pack::estimateTokens("a"), 1);
    EXPECT_EQ(Pack::estimateTokens("abcdefg"), 1);
    EXPECT_EQ(Pack::estimateTokens("abcdefgh"), 2);
    EXPECT_EQ(Pack::estimateTokens("abcdefghijk"), 2);
    EXPECT_EQ(Pack::estimateTokens("abcdefghijkl"), 3);
}

TEST(TokenEstimateTest, CountsUserPerceivedCharactersNotBytes) {
    EXPECT_EQ(Pack::estimateTokens("ééééééé"), 1);     // 7 characters, 14 bytes
    EXPECT_EQ(Pack::estimateTokens("abcdef\r\n"), 1);  // CR LF is one character
    EXPECT_EQ(Pack::estimateTokens("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"), 1);
    std::string families;
    for (int i = 0; i < 8; ++i)
        families += "👨‍👩‍👧‍👦";  // 8 ZWJ sequences, 56 code points
    EXPECT_EQ(Pack::estimateTokens(families), 2);
}
