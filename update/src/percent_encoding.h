#pragma once
// The signed list's spelling of arbitrary bytes as one space-free, printable-ASCII word.

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

namespace Update::PercentEncoding {

// Every byte that is "%", a space, a control byte or not ASCII becomes "%XX" (upper-case hex);
// the rest stay as they are.
std::string encode(std::string_view bytes);

// The bytes back, or nothing when the word is not exactly what `encode` writes (a byte left
// bare that needs encoding, an escape of one that does not, a bad escape, a NUL byte), so
// that each byte string has one spelling.
std::optional<std::string> decode(std::string_view word);

}  // namespace Update::PercentEncoding

}  // namespace tessaly
