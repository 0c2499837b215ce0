#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaly {

namespace Graphemes {

struct Scan {
    std::int64_t characters = 0;         // user-perceived characters
    std::size_t longestBacktickRun = 0;  // characters in a row that are a lone backtick
};

// One pass over UTF-8 text: its user-perceived characters (extended grapheme clusters, as
// ICU's character break iterator finds them) and its longest run of backtick characters. A
// backtick that a mark attaches to is another character and ends a run. Stretches of plain
// ASCII are counted in bulk. Invalid bytes count as U+FFFD each.
Scan scan(std::string_view utf8);

}  // namespace Graphemes

}  // namespace tessaly
