// tessaly-pack run as a process the way scripts run it, and its whole run repeated in-process.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "run_pack.h"
#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using TestSupport::readFile;
using TestSupport::RunResult;
using TestSupport::writeFile;

namespace {

class CliTest : public testing::Test {
  protected:
    void SetUp() override {
        writeFile(proj_ / "README.md", "Hello\n");
        writeFile(proj_ / "src/main.swift", "print(1)");
    }

    // In the C locale, where the root collation gives the natural order.
    RunResult pack(Strings args, const TestSupport::RunOptions& options = {}) {
        args.insert(args.begin(), {"LC_ALL=C", "LANG=C", TESSALY_PACK_PATH});
        RunResult r = TestSupport::runProgram("/usr/bin/env", args, options);
        EXPECT_NE(r.exitCode, -1) << "tessaly-pack crashed or hung; stderr: " << r.err;
        return r;
    }

    // What the engine makes of the project, to compare the program's output with.
    std::string document() const { return Pack::packInputs({proj_}).result.markdown; }

    TestSupport::TempDir dir_;
    fs::path proj_ = dir_ / "proj";
};

TEST_F(CliTest, DocumentGoesToStandardOutputAndTheSummaryToStandardError) {
    writeFile(proj_ / "copy.md", "Hello\n");
    writeFile(proj_ / "latin1.txt", "caf\xE9\n");
    const RunResult r = pack({"--title", "demo", proj_.string()});
    EXPECT_EQ(r.out.rfind("# Context: demo\n", 0), 0u);
    EXPECT_EQ(r.err,
              "Packed 2 files ✓\n2 files · ≈ 38 tokens · 153 bytes\n"
              "1 duplicate removed · 1 skipped (binary/large)\n  latin1.txt — not text\n");
    const RunResult quiet = pack({"-q", proj_.string()});
    EXPECT_EQ(quiet.out, document());
    EXPECT_EQ(quiet.err, "");
    const RunResult json = pack({"--json", proj_.string()});
    EXPECT_EQ(json.out, document());
    EXPECT_CONTAINS(json.err, R"("fileCount":2,"tokenEstimate":38,"byteCount":153,"duplicates":1,)"
                              R"("skipped":["latin1.txt — not text"],"overLimit":false})");
}

TEST_F(CliTest, PathsResolveAgainstTheCurrentFolderAndFilesComeInNaturalOrder) {
    for (const char* name : {"Zeta.md", "alpha.md", "file10.txt", "file2.txt", "B.txt", "b.txt"})
        writeFile(proj_ / name, name);
    for (const char* path : {"proj", "proj/", "./proj", "proj/./src/../"}) {
        const RunResult r = pack({"--json", path}, {dir_.path(), std::nullopt});
        EXPECT_EQ(r.out, document()) << path;
        EXPECT_CONTAINS(r.err, R"("title":"proj","root":")" + proj_.string() + "\"");
    }
    EXPECT_EQ(pack({}, {proj_, std::nullopt}).out, document());
    EXPECT_CONTAINS(document(),
                    "\n- `README.md`\n- `alpha.md`\n- `B.txt`\n- `b.txt`\n"
                    "- `file2.txt`\n- `file10.txt`\n- `Zeta.md`\n- `src/main.swift`\n");
}

// Packing again gives the same document: the destination, or the file standard output is
// sent to, is never packed itself. It is replaced whole, through a link, keeping its mode.
TEST_F(CliTest, OutputIsNeverPackedItselfAndIsReplacedThroughALinkKeepingItsMode) {
    const std::string expected = document();
    const fs::path out = proj_ / "context.md";
    writeFile(out, "# Context: a stale document\n");
    fs::permissions(out, fs::perms(0640));
    fs::create_symlink("context.md", proj_ / "link.md");
    for (int run = 0; run < 4; ++run) {
        const RunResult r = run < 2 ? pack({"-o", (proj_ / "link.md").string(), proj_.string()})
                                    : pack({proj_.string()}, {{}, out});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(readFile(out), expected) << "run " << run;
    }
    EXPECT_TRUE(fs::is_symlink(proj_ / "link.md"));
    EXPECT_EQ(fs::status(out).permissions(), fs::perms(0640));
}

TEST_F(CliTest, FailedWritesExitOneKeepTheOldFileAndLeaveNoTemporary) {
    for (char c : {'a', 'b', 'c'})
        writeFile(proj_ / (c + std::string(".txt")), std::string(700'000, c));
    const RunResult whole = pack({proj_.string()});
    EXPECT_TRUE(whole.out == document()) << "got " << whole.out.size() << " bytes";
    EXPECT_CONTAINS(whole.err, "\nLarge — this may exceed some models' context windows.\n");
    writeFile(dir_ / "out/context.md", "the old document\n");
    writeFile(dir_ / "out/taken/inside.txt", "kept\n");
    // The file-size limit stops the write half-way, where SIGXFSZ would kill the packer.
    const char* cases[][3] = {{"out/context.md", "400", "File too large"},
                              {"out/missing/context.md", "unlimited", "No such file or directory"},
                              {"out/taken", "unlimited", "Is a directory"}};
    for (const auto& [target, blocks, reason] : cases) {
        const RunResult r = TestSupport::runProgram(
            "/bin/sh", {"-c", "ulimit -f $0 && exec \"$@\"", blocks, TESSALY_PACK_PATH, "-o",
                        (dir_ / target).string(), proj_.string()});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_CONTAINS(r.err, (dir_ / target).string() + "): " + reason);
        EXPECT_EQ(readFile(dir_ / "out/context.md"), "the old document\n");
        EXPECT_EQ(TestSupport::listNames(dir_ / "out"), (Strings{"context.md", "taken"}));
    }
}

TEST_F(CliTest, UsageErrorsExitTwoHelpAndVersionZero) {
    for (const Strings& args :
         {Strings{"--bogus"}, {"x", "-o"}, {"--title"}, {"--help"}, {"--version"}}) {
        const RunResult r = pack(args);
        const bool usage = args[0] != "--help" && args[0] != "--version";
        EXPECT_EQ(r.exitCode, usage ? 2 : 0) << args[0];
        EXPECT_CONTAINS(r.out + r.err, usage ? "Try 'tessaly-pack --help'" : "tessaly-pack");
    }
}

TEST_F(CliTest, AThousandRunsInOneProcessKeepNoMemory) {
    for (int i = 0; i < 40; ++i)  // one a duplicate
        writeFile(proj_ / "src" / (std::to_string(i) + ".c"),
                  std::string(2'000 + 97 * (i % 39), 'a'));
    writeFile(proj_ / "big.txt", std::string(400'000, 'b'));
    Cli::Options options;
    options.paths = {proj_.string()};
    options.quiet = true;
    std::fflush(stdout);  // the documents go to /dev/null meanwhile
    const int savedOut = ::dup(STDOUT_FILENO), null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    std::size_t settled = 0;
    // Under AddressSanitizer resident size says nothing; LeakSanitizer checks at exit.
    for (int i = 0; i < (TestSupport::addressSanitizer ? 100 : 1000); ++i) {
        if (i == 50) settled = TestSupport::residentBytes();  // caches and allocator settled
        EXPECT_EQ(Cli::runPack(options), ExitStatus::success);
    }
    const std::size_t after = TestSupport::residentBytes();
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedOut);
    ::close(null);
    if (!TestSupport::addressSanitizer) {  // a leak of 64 KB a run would be 60 MB here
        EXPECT_LT(after, settled + (2u << 20)) << "settled " << settled << ", after " << after;
    }
}

}  // namespace
