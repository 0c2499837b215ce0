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

// An extension outside the table is the tag as it is, unless it holds what would end or split
// the fence line it is written on: a backtick, a control character or a space.
bool fitsFenceLine(std::string_view extension) {
    const auto length = static_cast<std::int32_t>(extension.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(extension.data(), i, length, c);
        if (c < 0 || c == '`' || u_charType(c) == U_CONTROL_CHAR ||
            u_charType(c) == U_SPACE_SEPARATOR)
            return false;
    }
    return true;
}

}  // namespace

std::string language(std::string_view path) {
    const std::string extension = Text::lowercase(Text::pathExtension(path));
    for (const TagRow& row : tagTable)
        if (row.extension == extension) return std::string(row.tag);
    return fitsFenceLine(extension) ? extension : std::string();
}

}  // namespace Pack

}  // namespace tessaly
