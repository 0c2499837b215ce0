#include "text.h"

#include <simdjson.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ascii.h"
#include "grapheme_scan.h"

namespace tessaly {

namespace Text {

bool isValidUtf8(std::string_view bytes) {
    return simdjson::validate_utf8(bytes.data(), bytes.size());
}

std::string validUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto size = static_cast<int32_t>(bytes.size());
    u_strFromUTF8WithSub(nullptr, 0, &length, bytes.data(), size, 0xFFFD, nullptr, &status);
    status = U_ZERO_ERROR;
    std::vector<UChar> utf16(static_cast<std::size_t>(length) + 1);
    u_strFromUTF8WithSub(utf16.data(), length + 1, &length, bytes.data(), size, 0xFFFD, nullptr,
                         &status);
    if (U_FAILURE(status)) return std::string(bytes.size(), '?');
    std::string out;
    icu::UnicodeString(false, utf16.data(), length).toUTF8String(out);
    return out;
}

std::string lowercase(std::string_view utf8) {
    if (Ascii::isAscii(utf8)) {
        std::string out(utf8);
        for (char& c : out)
            c = Ascii::toLower(c);
        return out;
    }
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(out);
    return out;
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path == "/") return path;
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view pathExtension(std::string_view path) {
    const std::string_view name = lastComponent(path);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

std::int64_t countGraphemes(std::string_view utf8) {
    return Graphemes::scan(utf8).characters;
}

}  // namespace Text

}  // namespace tessaly
