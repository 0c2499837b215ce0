#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ascii.h"
#include "tessaly/pack.h"

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

struct UTextCloser {
    void operator()(UText* t) const noexcept { utext_close(t); }
};

// Longest run of backtick characters, walking user-perceived characters: a backtick that a
// combining mark attaches to is a different character and ends the run.
std::size_t longestRunByCharacters(std::string_view line) {
    UErrorCode status = U_ZERO_ERROR;
    thread_local std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    std::unique_ptr<UText, UTextCloser> text(
        utext_openUTF8(nullptr, line.data(), static_cast<int64_t>(line.size()), &status));
    if (!breaks || U_FAILURE(status)) return longestRunAscii(line);
    breaks->setText(text.get(), status);
    if (U_FAILURE(status)) return longestRunAscii(line);
    std::size_t longest = 0, run = 0;
    int32_t start = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
         start = end, end = breaks->next()) {
        const bool backtick = end - start == 1 && line[static_cast<std::size_t>(start)] == '`';
        run = backtick ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    breaks->setText(icu::UnicodeString());
    return longest;
}

}  // namespace

std::string fence(std::string_view text) {
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
    return std::string(std::max<std::size_t>(longest + 1, 3), '`');
}

}  // namespace Pack
