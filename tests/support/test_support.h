#pragma once
// Scratch trees and child processes shared by the test executables.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tessaly {

// Passes when `needle` occurs in `haystack`; shows both otherwise.
#define EXPECT_CONTAINS(haystack, needle) \
    EXPECT_PRED_FORMAT2(TestSupport::contains, haystack, needle)

namespace TestSupport {

testing::AssertionResult contains(const char* haystackExpr, const char* needleExpr,
                                  std::string_view haystack, std::string_view needle);

// A fresh folder under /tmp (mode 0755, so a child that gave up root can walk into it),
// removed with everything below it, locked folders too, when the object goes away.
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

void writeFile(const std::filesystem::path& file, std::string_view bytes);  // makes its folders
std::string readFile(const std::filesystem::path& file);
std::vector<std::string> listNames(const std::filesystem::path& dir);  // sorted

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
    std::optional<std::filesystem::path> stdoutFile;  // stdout goes there instead
};
struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal or by the deadline
    std::string out;
    std::string err;
};

// Runs `program` with `args` (argv[0] excluded), stdin from /dev/null, within 20 seconds.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options = {});

std::size_t residentBytes();  // of this process

// AddressSanitizer's quarantine holds freed memory back on purpose: resident size says nothing
// there, and LeakSanitizer checks for leaks instead.
#ifdef __SANITIZE_ADDRESS__
constexpr bool addressSanitizer = true;
#else
constexpr bool addressSanitizer = false;
#endif

}  // namespace TestSupport

}  // namespace tessaly
