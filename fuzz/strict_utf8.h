#pragma once
// Well-formed UTF-8 as the Unicode standard's table of byte sequences defines it, written
// apart from the engine's validator so that the two can be checked against each other:
// no overlong forms, no surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string_view>

namespace tessaly {

namespace Fuzz {

inline bool isStrictUtf8(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto inRange = [&](std::size_t i, unsigned lo, unsigned hi) {
        return i < text.size() && byte(i) >= lo && byte(i) <= hi;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned lead = byte(i);
        unsigned secondLo = 0x80, secondHi = 0xBF;
        std::size_t length = 0;
        if (lead <= 0x7F) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) secondLo = 0xA0;  // overlong
            if (lead == 0xED) secondHi = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) secondLo = 0x90;  // overlong
            if (lead == 0xF4) secondHi = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (length > 1 && !inRange(i + 1, secondLo, secondHi)) return false;
        for (std::size_t k = 2; k < length; ++k)
            if (!inRange(i + k, 0x80, 0xBF)) return false;
        i += length;
    }
    return true;
}

}  // namespace Fuzz

}  // namespace tessaly
