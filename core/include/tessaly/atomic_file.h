#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

namespace AtomicFile {

// Replaces `destination` whole with `contents`, or leaves it as it was: the bytes go to a
// temporary file in the same folder, flushed, then renamed over it. On failure returns a
// message naming the operation, the file and the system's reason, and leaves nothing behind.
std::optional<std::string> write(const std::filesystem::path& destination,
                                 std::string_view contents);

}  // namespace AtomicFile

}  // namespace tessaly
