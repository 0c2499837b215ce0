#pragma once

#include <cstdint>
#include <string>

namespace ReadFile {

enum class Outcome { ok, tooLarge, failed };

struct Result {
    Outcome outcome = Outcome::failed;
    std::string data;
};

// Reads an open regular file to its end, but never more than `limit` bytes: a file that has
// grown past the limit since its size was taken comes back as tooLarge.
Result bounded(int fd, std::int64_t expectedSize, std::int64_t limit);

}  // namespace ReadFile
