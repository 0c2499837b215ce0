#include "small_file.h"

#include <sys/stat.h>

#include <algorithm>

#include "tessaly/system/io.h"
#include "tessaly/system/unique_fd.h"

namespace tessaly {

namespace SmallFile {

std::optional<std::string> read(int folderFd, const char* path, std::size_t limit,
                                bool followLink) {
    const System::UniqueFd fd(::openat(
        folderFd, path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string bytes(std::min(static_cast<std::size_t>(st.st_size), limit), '\0');
    const ssize_t filled = System::readFull(fd.get(), bytes);
    if (filled < 0) return std::nullopt;  // unreadable: as if it were not there
    bytes.resize(static_cast<std::size_t>(filled));
    return bytes;
}

}  // namespace SmallFile

}  // namespace tessaly
