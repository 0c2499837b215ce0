#pragma once
// What every fuzz target shares: its input as bytes, properties that stop the run when they fail
// (so that libFuzzer keeps the input like any other crash), and an oracle for UTF-8; and the
// standard headers most of them use.

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace tessaly::Fuzz {

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

// The text before the first `at` and the text after it (empty when there is none).
inline std::pair<std::string_view, std::string_view> splitAt(std::string_view text, char at) {
    const std::size_t end = std::min(text.find(at), text.size());
    return {text.substr(0, end), text.substr(std::min(end + 1, text.size()))};
}

// Well-formed UTF-8 by ICU's decoder (the engine validates with another): no overlong form,
// surrogate or code point above U+10FFFF.
inline bool isUtf8(std::string_view text) {
    UChar32 c = 0;
    for (std::int32_t i = 0, length = std::ssize(text); i < length && c >= 0;)
        U8_NEXT(text.data(), i, length, c);
    return c >= 0;
}

}  // namespace tessaly::Fuzz
