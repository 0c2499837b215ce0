#pragma once

#include <filesystem>
#include <string_view>

namespace tessaly {

namespace AtomicFile {

// Replaces `destination` whole with `contents`, or leaves it as it was: the bytes go to a
// temporary file in the same folder, flushed, then renamed over it. On failure throws
// std::system_error naming the operation, the file and the system's reason, and leaves
// nothing behind.
void write(const std::filesystem::path& destination, std::string_view contents);

}  // namespace AtomicFile

}  // namespace tessaly
