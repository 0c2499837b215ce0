#pragma once
// Running a program as a child process and measuring it whole: wall time and peak memory.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/system/unique_fd.h"

namespace tessaly {

namespace Child {

using System::UniqueFd;

// Where the child's standard streams go.
struct Io {
    int in = -1;
    int out = -1;
    int err = -1;
};

struct Figures {
    double seconds = 0;          // from fork to the reaped exit
    std::int64_t peakBytes = 0;  // the child's peak resident memory
    int status = 0;              // as wait4 gives it
};

// /dev/null, opened for reading and writing.
UniqueFd openNull();

// An anonymous in-memory file that catches a child's output for reading afterwards.
UniqueFd captureFile(const char* name);

// The whole contents of a capture file.
std::string readAll(int fd);

// The size of what a child wrote to a capture file.
std::int64_t sizeOf(int fd);

// Runs argv[0] (looked up in PATH when it has no slash) in `workDir` and waits for it.
Figures run(const std::vector<std::string>& argv, const std::filesystem::path& workDir, Io io);

// "exit status 3" or "killed by signal 9"; empty for a clean exit.
std::string failure(int status);

}  // namespace Child

}  // namespace tessaly
