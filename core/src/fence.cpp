#include <algorithm>

#include "backtick_run.h"
#include "grapheme_scan.h"
#include "tessaly/pack.h"

namespace tessaly {

namespace Pack {

std::size_t longestBacktickRun(std::string_view text) {
    return Graphemes::scan(text).longestBacktickRun;
}

std::string fenceFor(std::size_t longestRun) {
    return std::string(std::max<std::size_t>(longestRun + 1, 3), '`');
}

std::string fence(std::string_view text) {
    return fenceFor(longestBacktickRun(text));
}

}  // namespace Pack

}  // namespace tessaly
