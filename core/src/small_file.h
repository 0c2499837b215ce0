#pragma once
// Whole reads of the small files git keeps its rules and settings in.

#include <fcntl.h>

#include <cstddef>
#include <optional>
#include <string>

namespace tessaly {

namespace SmallFile {

// The bytes of the regular file `path` (relative to `folderFd`, or AT_FDCWD), at most `limit`
// of them. Nothing for a missing file, or one that is not a regular file: pipes and devices
// are never read, so nothing blocks. With `followLink` false, a link is not followed.
std::optional<std::string> read(int folderFd, const char* path, std::size_t limit,
                                bool followLink = true);

}  // namespace SmallFile

}  // namespace tessaly
