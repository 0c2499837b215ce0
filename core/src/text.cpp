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
#include "grapheme_breaks.h"

namespace tessaly {

namespace Text {
namespace {

// Clusters of a piece that holds no line feed, by ICU.
std::int64_t countGraphemesByIcu(std::string_view utf8) {
    std::int64_t count = 0;
    const bool counted =
        GraphemeBreaks::forThisThread().forEach(utf8, [&](std::size_t, std::size_t) { ++count; });
    return counted ? count : static_cast<std::int64_t>(utf8.size());
}

}  // namespace

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
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
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

namespace {

// Characters in ASCII text: one per byte, but CR LF is one.
std::int64_t countAscii(std::string_view ascii) {
    auto count = static_cast<std::int64_t>(ascii.size());
    for (std::size_t cr = ascii.find('\r'); cr != std::string_view::npos;
         cr = ascii.find('\r', cr + 1))
        if (cr + 1 < ascii.size() && ascii[cr + 1] == '\n') --count;
    return count;
}

}  // namespace

// A cluster boundary always falls before and after a line feed, except between CR and LF, so
// each line can be counted on its own, and ASCII is one cluster per byte but for CR LF: only
// the lines that hold other text go to ICU.
std::int64_t countGraphemes(std::string_view utf8) {
    std::int64_t count = 0;
    std::size_t done = 0;  // always the start of a line
    for (std::size_t other = Ascii::findNonAscii(utf8); other != std::string_view::npos;
         other = Ascii::findNonAscii(utf8, done)) {
        const std::size_t lineStart = utf8.rfind('\n', other) + 1;  // npos + 1 == 0
        const std::size_t lf = utf8.find('\n', other);
        const std::size_t lineEnd = lf == std::string_view::npos ? utf8.size() : lf;
        const std::string_view line = utf8.substr(lineStart, lineEnd - lineStart);
        count += countAscii(utf8.substr(done, lineStart - done)) + countGraphemesByIcu(line);
        if (lf == std::string_view::npos) return count;
        if (line.back() != '\r') ++count;  // CR LF is one cluster
        done = lf + 1;
    }
    return count + countAscii(utf8.substr(done));
}

}  // namespace Text

}  // namespace tessaly
