#pragma once

#include <cstdint>

#include "byte_arena.h"
#include "tessaly/bytes.h"

namespace tessaly {

namespace ReadFile {

enum class Outcome { ok, tooLarge, failed };

struct Result {
    Outcome outcome = Outcome::failed;
    Bytes data;
};

// Reads an open regular file to its end, but never more than `limit` bytes: a file that has
// grown past the limit since its size was taken comes back as tooLarge. The bytes go into
// `arena`, unless the file grew past its size, when they get memory of their own.
Result bounded(int fd, std::int64_t expectedSize, std::int64_t limit, ByteArena& arena);

}  // namespace ReadFile

}  // namespace tessaly
