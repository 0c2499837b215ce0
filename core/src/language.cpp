#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string_view>

#include "tessaly/pack.h"
#include "text.h"

namespace tessaly {

namespace Pack {
namespace {

struct TagRow {
    std::string_view extension;
    std::string_view tag;
};

// Looked up in this order; the first row naming the extension wins.
constexpr TagRow tagTable[] = {
    {"swift", "swift"},
    {"js", "javascript"},
    {"mjs", "javascript"},
    {"cjs", "javascript"},
    {"ts", "typescript"},
    {"tsx", "typescript"},
    {"py", "python"},
    {"rb", "ruby"},
    {"go", "go"},
    {"rs", "rust"},
    {"java", "java"},
    {"kt", "kotlin"},
    {"c", "c"},
    {"h", "c"},
    {"cpp", "cpp"},
    {"cc", "cpp"},
    {"hpp", "cpp"},
    {"cs", "csharp"},
    {"php", "php"},
    {"sh", "bash"},
    {"bash", "bash"},
    {"zsh", "bash"},
    {"swiftpm", ""},
    {"json", "json"},
    {"yaml", "yaml"},
    {"yml", "yaml"},
    {"toml", "toml"},
    {"xml", "xml"},
    {"html", "html"},
    {"htm", "html"},
    {"css", "css"},
    {"scss", "scss"},
    {"sql", "sql"},
    {"md", "markdown"},
    {"markdown", "markdown"},
    {"txt", ""},
    {"text", ""},
    {"", ""},
};

// Longer extensions are more likely the tail of a name than a language.
constexpr std::int32_t maxTagCharacters = 16;

// An extension outside the table is the tag only when it reads as one: a few letters, digits,
// "+", "-", "_" or "#". Anything else a name may hold (a space, a line feed, a backtick, a
// control character) would end or break the fence line the tag is written on.
bool readsAsTag(std::string_view extension) {
    const auto length = static_cast<std::int32_t>(extension.size());
    std::int32_t characters = 0;
    for (std::int32_t i = 0; i < length; ++characters) {
        UChar32 c = 0;
        U8_NEXT(extension.data(), i, length, c);
        if (c < 0 || !(u_isalnum(c) || c == '+' || c == '-' || c == '_' || c == '#')) return false;
    }
    return characters <= maxTagCharacters;
}

}  // namespace

std::string language(std::string_view path) {
    const std::string extension = Text::lowercase(Text::pathExtension(path));
    for (const TagRow& row : tagTable)
        if (row.extension == extension) return std::string(row.tag);
    return readsAsTag(extension) ? extension : std::string();
}

}  // namespace Pack

}  // namespace tessaly
