// Repeated work in one process must not keep memory: the packer's whole run a thousand times.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "run_pack.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

void makeProject(const TempDir& dir) {
    writeFile(dir / "p/README.md", "# Project\n");
    for (int i = 0; i < 40; ++i)
        writeFile(dir / "p/src" / ("file" + std::to_string(i) + ".cpp"),
                  std::string(2'000 + 97 * i, 'a' + i % 26) + "\n");
    writeFile(dir / "p/src/copy.cpp", std::string(2'000, 'a') + "\n");  // a duplicate
    writeFile(dir / "p/big.txt", std::string(400'000, 'b'));
    writeFile(dir / "p/logo.png", "\x89PNG");
}

TEST(MemoryTest, AThousandPackerRunsInOneProcessKeepNoMemory) {
    TempDir dir;
    makeProject(dir);
    Cli::Options options;
    options.paths = {(dir / "p").string()};
    options.quiet = true;
    // To standard output, sent to /dev/null meanwhile: a file would cost a flush to disk a run.
    std::fflush(stdout);
    const int savedOut = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
    const auto run = [&] { EXPECT_EQ(Cli::runPack(options), ExitStatus::success); };

    for (int i = 0; i < 50; ++i)
        run();  // caches, pools and the allocator settle
    const std::size_t settled = TestSupport::residentBytes();
    for (int i = 0; i < 950; ++i)
        run();
    const std::size_t after = TestSupport::residentBytes();
    std::fflush(stdout);
    ::dup2(savedOut, STDOUT_FILENO);
    ::close(savedOut);

    options.output = (dir / "context.md").string();
    run();
    EXPECT_GT(TestSupport::readFile(dir / "context.md").size(), 400'000u);
    if (!TestSupport::addressSanitizer) {
        // A leak of even one file's bytes a run would be over 2 MB here.
        EXPECT_LT(after, settled + (2u << 20)) << "settled " << settled << ", after " << after;
    }
}

}  // namespace
