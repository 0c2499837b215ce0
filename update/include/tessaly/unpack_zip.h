#pragma once
// Unpacking an update's zip archive.

#include <cstdint>
#include <filesystem>

namespace tessaly {

namespace Update {

// Bounds that make a zip bomb fail rather than fill the disk.
struct UnpackLimits {
    std::uint64_t maxBytes = std::uint64_t{2} << 30;  // of all files' contents together
    std::uint64_t maxEntries = 100'000;
};

// Creates the folder `target` (its parent must exist; `target` must not) with mode 0700 and
// unpacks the zip archive `zip` into it: folders, files with their permission bits and times,
// and links that stay inside; owners are not restored. Any other kind of entry, an absolute
// or ".." name, a name below a link or repeated, a hard link to anything but a file unpacked
// before, a link that could lead out, a file that is no zip, or going beyond `limits` fails
// the whole: nothing is ever written outside `target`, and on failure `target` is removed.
// Throws UpdateFailure(UpdateError::unpack).
void unpackZip(const std::filesystem::path& zip, const std::filesystem::path& target,
               const UnpackLimits& limits = {});

}  // namespace Update

}  // namespace tessaly
