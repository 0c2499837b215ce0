#include "read_limited.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tessaly {

namespace Update {

std::optional<std::string> readLimited(int fd, std::size_t limit, const std::string& name) {
    std::string text;
    char chunk[64 * 1024];
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::system_error(errno, std::generic_category(), "read(" + name + ")");
        if (n == 0) return text;
        if (static_cast<std::size_t>(n) > limit - text.size()) return std::nullopt;
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace Update

}  // namespace tessaly
