#pragma once
// UTF-8 and name helpers of the engine.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

namespace Text {

bool isValidUtf8(std::string_view bytes);

// The bytes unchanged when valid, else with each invalid sequence replaced by U+FFFD.
std::string validUtf8(std::string_view bytes);

// Full Unicode lower-casing, independent of the locale.
std::string lowercase(std::string_view utf8);

// The part of the last path component after its last dot; empty when the component has no
// dot other than a leading one.
std::string_view pathExtension(std::string_view path);

// The last component of a "/"-separated path, ignoring trailing separators.
std::string_view lastComponent(std::string_view path);

// Extended grapheme clusters in valid UTF-8 text.
std::int64_t countGraphemes(std::string_view utf8);

}  // namespace Text

}  // namespace tessaly
