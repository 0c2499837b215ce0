#pragma once

#include <filesystem>
#include <string_view>

namespace tessaly {

namespace AtomicFile {

// Replaces `destination` whole with `contents`, or leaves it as it was: the bytes go to a
// temporary file in the same folder, flushed, then renamed over it, with the old file's mode,
// owner and group. On failure, and on SIGINT, SIGTERM or SIGHUP meanwhile, nothing is left
// behind; a failure throws std::system_error naming the operation, the file and the system's
// reason. A link is written through; a destination that is not a regular file (a device, a
// fifo) is written into as it is, as a shell redirection would.
void write(const std::filesystem::path& destination, std::string_view contents);

}  // namespace AtomicFile

}  // namespace tessaly
