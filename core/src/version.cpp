#include <algorithm>
#include <charconv>
#include <cstdint>
#include <vector>

#include "tessaly/updater.h"

namespace tessaly {

namespace Updater {
namespace {

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional sign and one or more ASCII digits within the signed 64-bit range; anything
// else reads as 0.
std::int64_t pieceValue(std::string_view piece) {
    std::string_view digits = piece;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    if (digits.empty()) return 0;
    for (const char c : digits)
        if (!isAsciiDigit(c)) return 0;
    // from_chars takes "-" but not "+": hand it the minus with the digits.
    const std::string_view number = piece.front() == '+' ? digits : piece;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return 0;
    return value;
}

// The numbers of the non-empty pieces between dots.
std::vector<std::int64_t> pieces(std::string_view version) {
    std::vector<std::int64_t> numbers;
    while (!version.empty()) {
        const std::size_t dot = version.find('.');
        const std::string_view piece = version.substr(0, dot);
        if (!piece.empty()) numbers.push_back(pieceValue(piece));
        if (dot == std::string_view::npos) break;
        version.remove_prefix(dot + 1);
    }
    return numbers;
}

}  // namespace

bool isNewer(std::string_view candidate, std::string_view current) {
    const std::vector<std::int64_t> a = pieces(candidate);
    const std::vector<std::int64_t> b = pieces(current);
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t x = i < a.size() ? a[i] : 0;
        const std::int64_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x > y;
    }
    return false;
}

}  // namespace Updater

}  // namespace tessaly
