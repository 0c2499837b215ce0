#include <algorithm>

#include "ascii.h"
#include "backtick_run.h"
#include "grapheme_breaks.h"
#include "tessaly/pack.h"

namespace tessaly {

namespace Pack {
namespace {

// Longest run of backticks in ASCII text, where every byte is its own character.
std::size_t longestRunAscii(std::string_view line) {
    std::size_t longest = 0, run = 0;
    for (char c : line) {
        run = c == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// Longest run of backtick characters, walking user-perceived characters: a backtick that a
// combining mark attaches to is a different character and ends the run.
std::size_t longestRunByCharacters(std::string_view line) {
    std::size_t longest = 0, run = 0;
    const bool walked =
        GraphemeBreaks::forThisThread().forEach(line, [&](std::size_t start, std::size_t end) {
            run = end - start == 1 && line[start] == '`' ? run + 1 : 0;
            longest = std::max(longest, run);
        });
    return walked ? longest : longestRunAscii(line);
}

}  // namespace

std::size_t longestBacktickRun(std::string_view text) {
    std::size_t longest = 0;
    // Runs never cross a line feed, and only lines with a backtick can hold one.
    for (std::size_t pos = text.find('`'); pos != std::string_view::npos;) {
        const std::size_t lineStart = text.rfind('\n', pos) + 1;  // npos + 1 == 0
        std::size_t lineEnd = text.find('\n', pos);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        longest = std::max(
            longest, Ascii::isAscii(line) ? longestRunAscii(line) : longestRunByCharacters(line));
        pos = lineEnd < text.size() ? text.find('`', lineEnd) : std::string_view::npos;
    }
    return longest;
}

std::string fenceFor(std::size_t longestRun) {
    return std::string(std::max<std::size_t>(longestRun + 1, 3), '`');
}

std::string fence(std::string_view text) {
    return fenceFor(longestBacktickRun(text));
}

}  // namespace Pack

}  // namespace tessaly
