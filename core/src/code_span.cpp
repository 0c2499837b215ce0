#include "code_span.h"

#include <algorithm>

namespace tessaly::Pack {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

std::size_t longestRun(std::string_view text, char c) {
    std::size_t longest = 0;
    std::size_t run = 0;
    for (const char x : text) {
        run = x == c ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

}  // namespace

std::string withoutControls(std::string_view utf8) {
    if (std::none_of(utf8.begin(), utf8.end(), isControl)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        if (isControl(c))
            out += replacement;
        else
            out += c;
    }
    return out;
}

std::string codeSpan(std::string_view text) {
    const std::string delimiter(longestRun(text, '`') + 1, '`');
    const bool allSpaces = text.find_first_not_of(' ') == std::string_view::npos;
    const bool pad = !text.empty() && (text.front() == '`' || text.back() == '`' ||
                                       (text.front() == ' ' && text.back() == ' ' && !allSpaces));
    std::string span;
    span.reserve(text.size() + 2 * delimiter.size() + 2);
    span += delimiter;
    if (pad) span += ' ';
    span += text;
    if (pad) span += ' ';
    span += delimiter;
    return span;
}

}  // namespace tessaly::Pack
