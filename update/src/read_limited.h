#pragma once
// Reading a small file whole without trusting it to be small.

#include <cstddef>
#include <optional>
#include <string>

namespace tessaly {

namespace Update {

// The rest of `fd`, or nothing when that is more than `limit` bytes. Throws std::system_error
// naming `name` when a read fails.
std::optional<std::string> readLimited(int fd, std::size_t limit, const std::string& name);

}  // namespace Update

}  // namespace tessaly
