#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace Ascii {

// True when no byte has its high bit set; eight bytes at a time.
inline bool isAscii(std::string_view s) {
    const char* p = s.data();
    std::size_t n = s.size();
    std::uint64_t bits = 0;
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        bits |= word;
    }
    for (; n > 0; ++p, --n)
        bits |= static_cast<unsigned char>(*p);
    return (bits & 0x8080808080808080ULL) == 0;
}

}  // namespace Ascii
