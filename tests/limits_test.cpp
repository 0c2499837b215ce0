// The packer under hostile limits: few descriptors, a small stack, little memory. Each run
// either packs every file or fails loudly; never a document with files missing and exit 0.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "test_support.h"

using namespace tessaly;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

// A chain of `depth` folders, one file in each; made a folder at a time, since its paths
// grow beyond what the system opens at once.
void writeChain(const std::filesystem::path& top, int depth) {
    std::filesystem::create_directories(top);
    int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && folder >= 0; ++i) {
        ::mkdirat(folder, "d", 0755);
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = next;
        const int file = ::openat(folder, "f.txt", O_WRONLY | O_CREAT, 0644);
        const std::string text = "file " + std::to_string(i) + "\n";
        EXPECT_EQ(::write(file, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(file);
    }
    ::close(folder);
}

void writeWide(const std::filesystem::path& top, int folders, int files) {
    for (int f = 0; f < folders; ++f)
        for (int i = 0; i < files; ++i)
            writeFile(top / ("d" + std::to_string(f)) / (std::to_string(i) + ".txt"),
                      std::to_string(f) + " " + std::to_string(i) + "\n");
}

struct Case {
    const char* name;
    const char* limit;  // a ulimit option and value
    const char* tree;
    int exitCode;
    int fileCount;          // when it succeeds
    const char* complaint;  // when it fails
};

const Case cases[] = {
    {"deep chain, few descriptors", "-n 16", "chain", 0, 200, ""},
    {"wide tree, fewer descriptors", "-n 12", "wide", 0, 2050, ""},
    {"too few descriptors fail loudly", "-n 5", "wide", 1, 0, "Too many open files"},
    {"deeper than a small stack", "-s 1024", "deep", 0, 2500, ""},
    {"too little memory fails loudly", "-v 100000", "big", 1, 0, "out of memory"},
};

}  // namespace

TEST(LimitsTest, EachRunPacksEveryFileOrFailsNamingTheReason) {
    TempDir dir;
    writeChain(dir / "chain", 200);
    writeChain(dir / "deep", 2500);
    writeWide(dir / "wide", 50, 41);
    for (int i = 0; i < 40; ++i)
        writeFile(dir / "big" / (std::to_string(i) + ".txt"),
                  std::to_string(i) + std::string(900'000, 'x'));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The sanitizers' own runtime fails first when memory or descriptors run out.
        if (TestSupport::addressSanitizer && c.exitCode != 0) continue;
        const std::string script = std::string("ulimit ") + c.limit + " && exec " +
                                   TESSALY_PACK_PATH + " --json " + (dir / c.tree).string();
        const auto r =
            TestSupport::runProgram("/bin/sh", {"-c", script}, {dir.path(), dir / "out.md"});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode == 0)
            EXPECT_EQ(nlohmann::json::parse(r.err).at("fileCount"), c.fileCount);
        else
            EXPECT_CONTAINS(r.err, c.complaint);
    }
}
