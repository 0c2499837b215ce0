#pragma once

#include <string_view>

namespace tessaly::Pack {

// Natural name order: case-insensitive, digit runs by value, in the user's locale.
// True when `a` goes before `b`.
bool naturalLess(std::string_view a, std::string_view b);

}  // namespace tessaly::Pack
