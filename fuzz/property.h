#pragma once
// What every fuzz target shares: its input as bytes, and properties that stop the run when
// they fail, so that libFuzzer keeps the input like any other crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace tessaly {

namespace Fuzz {

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Aborts, naming the property, unless it holds.
inline void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

// The text up to the first `separator` and the text after it (empty when there is none).
inline std::pair<std::string_view, std::string_view> splitAt(std::string_view text,
                                                             char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) return {text, {}};
    return {text.substr(0, at), text.substr(at + 1)};
}

}  // namespace Fuzz

}  // namespace tessaly
