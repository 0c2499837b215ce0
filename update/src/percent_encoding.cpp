#include "percent_encoding.h"

#include <cstdint>

namespace tessaly {

namespace Update::PercentEncoding {
namespace {

constexpr char upperDigits[] = "0123456789ABCDEF";

bool needsEscape(unsigned char b) {
    return b <= 0x20 || b >= 0x7f || b == '%';
}

int upperDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string encode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (needsEscape(b)) {
            out.push_back('%');
            out.push_back(upperDigits[b >> 4]);
            out.push_back(upperDigits[b & 0xf]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::string> decode(std::string_view word) {
    std::string out;
    out.reserve(word.size());
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto b = static_cast<unsigned char>(word[i]);
        if (b != '%') {
            if (needsEscape(b)) return std::nullopt;
            out.push_back(word[i]);
            continue;
        }
        if (word.size() - i < 3) return std::nullopt;
        const int high = upperDigitValue(word[i + 1]);
        const int low = upperDigitValue(word[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const auto decoded = static_cast<unsigned char>(high << 4 | low);
        if (decoded == 0 || !needsEscape(decoded)) return std::nullopt;
        out.push_back(static_cast<char>(decoded));
        i += 2;
    }
    return out;
}

}  // namespace Update::PercentEncoding

}  // namespace tessaly
