#include "tessaly/system/io.h"

#include <unistd.h>

#include <cerrno>

#include "tessaly/system/system_error.h"

namespace tessaly::System {

ssize_t readFull(int fd, std::span<char> buffer) noexcept {
    std::size_t size = 0;
    while (size < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(size);
}

bool writeAll(int fd, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> readAll(int fd, std::size_t limit, std::string_view name) {
    std::string text;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = readFull(fd, chunk);
        if (n < 0) throwSystem("read", name);
        if (static_cast<std::size_t>(n) > limit - text.size()) return std::nullopt;
        text.append(chunk, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof chunk) return text;
    }
}

}  // namespace tessaly::System
