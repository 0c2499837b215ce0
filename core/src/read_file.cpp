#include "read_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ReadFile {

Result bounded(int fd, std::int64_t expectedSize, std::int64_t limit) {
    Result result;
    const auto cap = static_cast<std::size_t>(limit) + 1;  // one byte more tells growth
    std::size_t capacity =
        std::min(static_cast<std::size_t>(std::max<std::int64_t>(expectedSize, 0)) + 1, cap);
    std::string& data = result.data;
    data.resize(capacity);
    std::size_t size = 0;
    for (;;) {
        if (size == data.size()) {
            if (data.size() >= cap) break;
            data.resize(std::min(cap, std::max<std::size_t>(data.size() * 2, 4096)));
        }
        const ssize_t n = ::read(fd, data.data() + size, data.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            data.clear();
            return result;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    if (size > static_cast<std::size_t>(limit)) {
        data.clear();
        data.shrink_to_fit();
        result.outcome = Outcome::tooLarge;
        return result;
    }
    data.resize(size);
    result.outcome = Outcome::ok;
    return result;
}

}  // namespace ReadFile
