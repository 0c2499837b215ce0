#pragma once
// Reads and writes that a signal or a short transfer cannot cut short.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaly::System {

// Reads until `buffer` is full or the file ends; the bytes read, or -1 with errno set.
ssize_t readFull(int fd, std::span<char> buffer) noexcept;

// Writes all of `bytes`; false with errno set when a write fails (EIO for one that wrote
// nothing).
[[nodiscard]] bool writeAll(int fd, std::string_view bytes) noexcept;

// The rest of `fd`, or nothing when that is more than `limit` bytes: a file that ought to be
// small is never read whole on trust. Throws std::system_error naming `name` when a read fails.
std::optional<std::string> readAll(int fd, std::size_t limit, std::string_view name);

}  // namespace tessaly::System
