#pragma once
// Scratch trees, child processes and a strict UTF-8 check shared by the test executables.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Passes when `needle` occurs in `haystack`; shows both otherwise.
#define EXPECT_CONTAINS(haystack, needle) \
    EXPECT_PRED_FORMAT2(TestSupport::contains, haystack, needle)

namespace TestSupport {

testing::AssertionResult contains(const char* haystackExpr, const char* needleExpr,
                                  std::string_view haystack, std::string_view needle);

// A fresh folder under /tmp, removed with everything below it when the object goes away.
// Mode 0755, so a child that has given up root can still walk into it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& rel) const { return path_ / rel; }

  private:
    std::filesystem::path path_;
};

// Writes `bytes` to `file`, creating the folders above it.
void writeFile(const std::filesystem::path& file, std::string_view bytes);
std::string readFile(const std::filesystem::path& file);

// Entry names of a folder, sorted.
std::vector<std::string> listNames(const std::filesystem::path& dir);

// Removes a tree of any depth (works below PATH_MAX by walking with descriptors).
void removeTree(const std::filesystem::path& path);

// Independent of the code under test on purpose: rejects overlong forms, surrogates and
// code points above U+10FFFF.
bool isStrictUtf8(std::string_view bytes);

struct ChildResult {
    bool finished = false;  // exited on its own before the deadline
    int exitCode = -1;      // -1 when killed by a signal or by the deadline
    std::string output;     // what the child returned
};

// Runs `body` in a forked child and hands back the string it returns; the child is killed
// when it is not done within `timeout`, so a blocking read cannot hang the suite.
ChildResult runInChild(const std::function<std::string()>& body, std::chrono::seconds timeout);

struct RunOptions {
    std::filesystem::path cwd;                        // empty: the test's own
    std::optional<std::filesystem::path> stdoutFile;  // stdout goes there instead of a pipe
};

struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal or by the deadline
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[0] excluded), stdin from /dev/null, within 20 seconds.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

// This process's resident memory, from /proc/self/statm.
std::size_t residentBytes();

// True in a build with AddressSanitizer, whose quarantine holds freed memory back on purpose:
// resident size says nothing there, and LeakSanitizer checks for leaks instead.
constexpr bool addressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

}  // namespace TestSupport

}  // namespace tessaly
