#include "hex.h"

namespace tessaly {

namespace Update::Hex {
namespace {

constexpr char digits[] = "0123456789abcdef";

int digitValue(char c, bool acceptUpper) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (acceptUpper && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string encode(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xf]);
    }
    return out;
}

bool decode(std::string_view text, std::span<std::uint8_t> out, bool acceptUpper) {
    if (text.size() != out.size() * 2) return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = digitValue(text[2 * i], acceptUpper);
        const int low = digitValue(text[2 * i + 1], acceptUpper);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

}  // namespace Update::Hex

}  // namespace tessaly
