#include "read_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "tessaly/system/io.h"

namespace tessaly {

namespace ReadFile {
namespace {

// The rest of a file that outgrew its expected size, after the `head` already read, in a
// string that doubles up to `cap` bytes.
Result readGrown(int fd, std::string_view head, std::size_t cap, std::int64_t limit) {
    Result result;
    std::string data(head);
    std::size_t size = data.size();
    for (;;) {
        if (size == data.size()) {
            if (data.size() >= cap) break;
            data.resize(std::min(cap, std::max<std::size_t>(data.size() * 2, 4096)));
        }
        const ssize_t n = System::readFull(fd, {data.data() + size, data.size() - size});
        if (n < 0) return result;
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    if (size > static_cast<std::size_t>(limit)) {
        result.outcome = Outcome::tooLarge;
        return result;
    }
    data.resize(size);
    result.outcome = Outcome::ok;
    result.data = Bytes(std::move(data));
    return result;
}

}  // namespace

Result bounded(int fd, std::int64_t expectedSize, std::int64_t limit, ByteArena& arena) {
    const auto cap = static_cast<std::size_t>(limit) + 1;  // one byte more tells growth
    const std::size_t capacity =
        std::min(static_cast<std::size_t>(std::max<std::int64_t>(expectedSize, 0)) + 1, cap);
    const std::span<char> room = arena.room(capacity);
    const ssize_t n = System::readFull(fd, room.first(capacity));
    if (n < 0) return {};
    const auto size = static_cast<std::size_t>(n);
    if (size == capacity && capacity < cap)
        return readGrown(fd, std::string_view(room.data(), size), cap, limit);
    if (size > static_cast<std::size_t>(limit)) return {Outcome::tooLarge, {}};
    return {Outcome::ok, arena.keep(size)};
}

}  // namespace ReadFile

}  // namespace tessaly
