#pragma once
// Reading what the packer wrote: the document's file list and the figures of --json.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

namespace Document {

// The kept files' paths in the document's order: the "- `path`" lines between the
// "## Files (N)" heading and the "---" that closes the list. Reads `fd` from its start and
// stops at the end of the list, so a large document is never held in memory.
std::vector<std::string> listedFiles(int fd);

// The path inside one "- `path`" line, or nothing when the line is not a list item.
std::optional<std::string> listItem(std::string_view line);

}  // namespace Document

namespace Json {

// The figures of one --json object; the strings (title, root) are not needed here.
struct Figures {
    std::int64_t fileCount = 0;
    std::int64_t tokenEstimate = 0;
    std::int64_t byteCount = 0;
    std::int64_t duplicates = 0;
    std::int64_t skipped = 0;  // entries of the "skipped" array
    bool overLimit = false;
};

// Parses the object; nothing when `text` is not one.
std::optional<Figures> parseFigures(std::string_view text);

}  // namespace Json

}  // namespace tessaly
