#include <string_view>

#include "tessaly/pack.h"
#include "tessaly/text.h"

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

}  // namespace

std::string language(std::string_view path) {
    const std::string extension = Text::lowercase(Text::pathExtension(path));
    for (const TagRow& row : tagTable)
        if (row.extension == extension) return std::string(row.tag);
    return extension;
}

}  // namespace Pack
