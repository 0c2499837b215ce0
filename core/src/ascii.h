#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessaly {

namespace Ascii {

inline constexpr std::uint64_t highBits = 0x8080808080808080ULL;

// Offset of the first byte at or after `from` with its high bit set, or npos. Tests 32 bytes
// per step, which the compiler turns into vector instructions.
inline std::size_t findNonAscii(std::string_view s, std::size_t from = 0) {
    const char* p = s.data();
    std::size_t i = from;
    for (; i + 32 <= s.size(); i += 32) {
        std::uint64_t w[4];
        std::memcpy(w, p + i, 32);
        if (((w[0] | w[1] | w[2] | w[3]) & highBits) != 0) break;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return i;
    return std::string_view::npos;
}

inline constexpr bool isUpper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}
inline constexpr bool isLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}
inline constexpr bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline constexpr bool isAlpha(unsigned char c) {
    return isUpper(c) || isLower(c);
}
inline constexpr char toLower(char c) {
    return isUpper(static_cast<unsigned char>(c)) ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when no byte has its high bit set.
inline bool isAscii(std::string_view s) {
    return findNonAscii(s) == std::string_view::npos;
}

}  // namespace Ascii

}  // namespace tessaly
