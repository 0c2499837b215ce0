#pragma once
// Bytes as hexadecimal text and back.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessaly {

namespace Update::Hex {

// Lower-case, two digits a byte.
std::string encode(std::span<const std::uint8_t> bytes);

// Fills `out` from exactly 2 * out.size() digits; false on any other length or a non-digit.
// Upper-case digits only when `acceptUpper`: text that is signed has one spelling.
bool decode(std::string_view text, std::span<std::uint8_t> out, bool acceptUpper);

}  // namespace Update::Hex

}  // namespace tessaly
