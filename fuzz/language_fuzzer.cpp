// The language tag for a path, written right after a fence's backticks. Whatever the path (a
// file name may hold any byte but "/" and NUL), the tag is empty or short, well-formed UTF-8
// with nothing that could end, break or hide in the fence line: no whitespace, no control or
// format character, no backtick, and no combining mark to join the fence's last backtick. It
// depends only on the last name, and for ASCII names not on letter case.

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "property.h"
#include "strict_utf8.h"
#include "tessaly/pack.h"
#include "text.h"

using namespace tessaly;

namespace {

using Fuzz::require;

constexpr std::size_t maxTagBytes = 64;

bool breaksTheFenceLine(UChar32 c) {
    if (c == '`' || u_isUWhiteSpace(c)) return true;
    const auto type = static_cast<UCharCategory>(u_charType(c));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_SPACE_SEPARATOR ||
           type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR || type == U_UNASSIGNED ||
           type == U_PRIVATE_USE_CHAR || type == U_SURROGATE;
}

bool isMark(UChar32 c) {
    const auto type = static_cast<UCharCategory>(u_charType(c));
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK ||
           type == U_ENCLOSING_MARK;
}

bool isCleanTag(std::string_view tag) {
    if (tag.size() > maxTagBytes || !Fuzz::isStrictUtf8(tag)) return false;
    const auto length = static_cast<int32_t>(tag.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(tag.data(), i, length, c);
        if (c < 0 || breaksTheFenceLine(c) || (start == 0 && isMark(c))) return false;
    }
    return true;
}

std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view path = Fuzz::bytesOf(data, size);
    const std::string tag = Pack::language(path);
    require(tag.empty() || isCleanTag(tag),
            "a tag is short and holds nothing that breaks or hides in the fence line");
    require(Pack::language("dir/" + std::string(path)) == tag,
            "the tag depends only on the last name");
    if (isAscii(path))
        require(Pack::language(asciiUpper(path)) == tag, "an ASCII name's case does not matter");
    return 0;
}
