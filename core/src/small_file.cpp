#include "small_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "unique_fd.h"

namespace tessaly {

namespace SmallFile {

std::optional<std::string> read(int folderFd, const char* path, std::size_t limit,
                                bool followLink) {
    const UniqueFd fd(::openat(folderFd, path,
                               O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string bytes(std::min(static_cast<std::size_t>(st.st_size), limit), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace SmallFile

}  // namespace tessaly
