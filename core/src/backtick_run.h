#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly {

namespace Pack {

// Longest run of backtick characters in `text`; a backtick carrying a combining mark is
// another character and ends a run.
std::size_t longestBacktickRun(std::string_view text);

// The fence that no run of `longestRun` backticks can close: one longer, at least 3.
std::string fenceFor(std::size_t longestRun);

}  // namespace Pack

}  // namespace tessaly
