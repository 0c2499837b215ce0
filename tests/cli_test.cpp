#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using TestSupport::readFile;
using TestSupport::RunOptions;
using TestSupport::RunResult;
using TestSupport::writeFile;

namespace {

std::string projDocument(const std::string& title) {
    return "# Context: " + title +
           "\n\n## Files (2)\n\n- `README.md`\n- `src/main.swift`\n\n---\n\n"
           "## `README.md`\n\n```markdown\nHello\n```\n\n"
           "## `src/main.swift`\n\n```swift\nprint(1)\n```\n\n";
}

std::string firstLine(const std::string& s) {
    return s.substr(0, s.find('\n'));
}

}  // namespace

class PackCommandTest : public testing::Test {
  protected:
    void SetUp() override {
        writeFile(proj_ / "README.md", "Hello\n");
        writeFile(proj_ / "src/main.swift", "print(1)");
    }

    RunResult pack(const std::vector<std::string>& args, const RunOptions& options = {}) {
        auto r = TestSupport::runProgram(TESSALY_PACK_PATH, args, options);
        EXPECT_NE(r.exitCode, -1) << "tessaly-pack crashed or hung; stderr: " << r.err;
        return r;
    }

    TestSupport::TempDir dir_;
    fs::path proj_ = dir_ / "proj";
};

TEST_F(PackCommandTest, DocumentGoesToStdoutAndStatusLeadsStderr) {
    auto r = pack({proj_.string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, projDocument("proj"));
    EXPECT_EQ(firstLine(r.err), "Packed 2 files ✓");
}

TEST_F(PackCommandTest, TitleOptionGivesTheExactExampleDocument) {
    auto r = pack({"--title", "demo", proj_.string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, projDocument("demo"));
    EXPECT_EQ(r.out.size(), 153u);
    EXPECT_CONTAINS(r.err, "≈ 38");
    EXPECT_CONTAINS(r.err, "153 bytes");
}

TEST_F(PackCommandTest, RelativePathsAndNoPathPackTheSameFolder) {
    for (const char* arg : {"proj", "proj/", "./proj"}) {
        auto r = pack({arg}, {dir_.path(), std::nullopt});
        EXPECT_EQ(r.out, projDocument("proj")) << arg;
    }
    auto here = pack({}, {proj_, std::nullopt});
    EXPECT_EQ(here.exitCode, 0);
    EXPECT_EQ(here.out, projDocument("proj"));
}

TEST_F(PackCommandTest, PathsArePackedInTheOrderGiven) {
    writeFile(dir_ / "x/a.txt", "same\n");
    writeFile(dir_ / "y/b.txt", "same\n");
    auto r = pack({(dir_ / "y/b.txt").string(), (dir_ / "x/a.txt").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "# Context: 2 items\n\n## Files (1)\n\n- `y/b.txt`\n\n---\n\n"
              "## `y/b.txt`\n\n```\nsame\n```\n\n");
    EXPECT_EQ(firstLine(r.err), "Packed 1 files ✓");
    EXPECT_CONTAINS(r.err, "1 duplicate removed\n");
}

TEST_F(PackCommandTest, NotesLineCountsDuplicatesAndSkipped) {
    writeFile(proj_ / "copy.md", "Hello\n");
    writeFile(proj_ / "latin1.txt", "caf\xE9\n");
    auto r = pack({proj_.string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_CONTAINS(r.err, "1 duplicate removed · 1 skipped (binary/large)");
}

TEST_F(PackCommandTest, JsonSummaryIsOneObjectWithTheFigures) {
    writeFile(proj_ / "bad.txt", "\xFF\xFE");
    auto r = pack({"--json", "--title", "demo", proj_.string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, projDocument("demo"));
    nlohmann::json j;
    ASSERT_NO_THROW(j = nlohmann::json::parse(r.err)) << r.err;
    EXPECT_EQ(j.at("title"), "demo");
    EXPECT_EQ(j.at("root"), proj_.string());
    EXPECT_EQ(j.at("fileCount"), 2);
    EXPECT_EQ(j.at("tokenEstimate"), 38);
    EXPECT_EQ(j.at("byteCount"), 153);
    EXPECT_EQ(j.at("duplicates"), 0);
    EXPECT_EQ(j.at("skipped"), nlohmann::json::array({"bad.txt — not text"}));
    EXPECT_EQ(j.at("overLimit"), false);
}

TEST_F(PackCommandTest, QuietLeavesStderrEmpty) {
    for (const char* flag : {"-q", "--quiet"}) {
        auto r = pack({flag, proj_.string()});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "") << flag;
        EXPECT_EQ(r.out, projDocument("proj"));
    }
}

TEST_F(PackCommandTest, LargeDocumentIsWrittenWholeWithTheSizeWarning) {
    const std::string big = std::string(999'999, 'b') + "\n";
    writeFile(proj_ / "big.txt", big);
    auto r = pack({proj_.string()});
    EXPECT_EQ(r.exitCode, 0);
    const std::string expected =
        "# Context: proj\n\n## Files (3)\n\n- `README.md`\n- `big.txt`\n- `src/main.swift`\n\n"
        "---\n\n## `README.md`\n\n```markdown\nHello\n```\n\n## `big.txt`\n\n```\n" +
        big + "```\n\n## `src/main.swift`\n\n```swift\nprint(1)\n```\n\n";
    EXPECT_TRUE(r.out == expected)
        << "got " << r.out.size() << " bytes, expected " << expected.size();
    EXPECT_CONTAINS(r.err, "Large — this may exceed some models' context windows.");
}

TEST_F(PackCommandTest, NoTextFileStillGivesADocumentAndExitZero) {
    writeFile(dir_ / "assets/logo.png", "\x89PNG");
    auto r = pack({(dir_ / "assets").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "# Context: assets\n\n## Files (0)\n\n\n---\n\n");
    EXPECT_EQ(firstLine(r.err), "No text files found");
}

TEST_F(PackCommandTest, OutputFileInsidePackedFolderIsNeverPacked) {
    // A stale file at the destination is neither packed nor partly kept.
    writeFile(proj_ / "context.md", "# Context: old\n" + std::string(5000, 's'));
    for (int run = 0; run < 2; ++run) {
        auto r = pack({"-o", (proj_ / "context.md").string(), proj_.string()});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(firstLine(r.err), "Packed 2 files ✓");
        EXPECT_EQ(readFile(proj_ / "context.md"), projDocument("proj")) << "run " << run;
    }
    EXPECT_EQ(TestSupport::listNames(proj_), (Strings{"README.md", "context.md", "src"}));
}

TEST_F(PackCommandTest, LongOutputOptionWritesRelativeToCurrentFolder) {
    auto r = pack({"--output", "ctx.md", "proj"}, {dir_.path(), std::nullopt});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(dir_ / "ctx.md"), projDocument("proj"));
}

TEST_F(PackCommandTest, StdoutRedirectedInsidePackedFolderIsNeverPacked) {
    for (int run = 0; run < 2; ++run) {
        auto r = pack({proj_.string()}, {{}, proj_ / "out.md"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(readFile(proj_ / "out.md"), projDocument("proj")) << "run " << run;
    }
}

TEST_F(PackCommandTest, UnwritableOutputExitsOneNamingFileAndReason) {
    const fs::path target = dir_ / "missing/out.md";
    auto r = pack({"-o", target.string(), proj_.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_CONTAINS(r.err, target.string());
    EXPECT_CONTAINS(r.err, "No such file or directory");
    EXPECT_EQ(TestSupport::listNames(dir_.path()), (Strings{"proj"}));
}

TEST_F(PackCommandTest, OutputThatFailsPartWayKeepsTheOldFileAndLeavesNoTemporary) {
    for (int i = 0; i < 3; ++i)
        writeFile(proj_ / ("part" + std::to_string(i) + ".txt"), std::string(700'000, 'a' + i));
    const fs::path out = dir_ / "out" / "context.md";
    writeFile(out, "the old document\n");
    // 200 KB may be written, then the file-size limit stops the write half-way.
    auto r =
        TestSupport::runProgram("/bin/sh", {"-c", "ulimit -f 400 && exec \"$0\" -o \"$1\" \"$2\"",
                                            TESSALY_PACK_PATH, out.string(), proj_.string()});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_CONTAINS(r.err, "File too large");
    EXPECT_EQ(readFile(out), "the old document\n");
    EXPECT_EQ(TestSupport::listNames(out.parent_path()), (Strings{"context.md"}));
}

TEST_F(PackCommandTest, UsageErrorsExitTwoWithoutADocument) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bogus", proj_.string()},
          {proj_.string(), "-o"},
          {"--title"}}) {
        auto r = pack(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_NE(r.err, "") << args[0];
    }
}

TEST_F(PackCommandTest, HelpAndVersionExitZero) {
    auto help = pack({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_CONTAINS(help.out + help.err, "--output");
    auto version = pack({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_CONTAINS(version.out + version.err, TESSALY_VERSION);
}
