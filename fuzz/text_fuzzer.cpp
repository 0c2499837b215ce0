// Text is exactly the well-formed UTF-8 with no NUL in the first Collect::sniffLength bytes. The
// same bytes packed as a title, a file's name and its body make a document of valid UTF-8 (names
// are repaired) that keeps the body exactly when it is valid and shows a valid title as it is,
// but for its control characters, each shown as U+FFFD.

#include "property.h"
#include "tessaly/collect.h"
#include "tessaly/pack.h"

using namespace tessaly;
using Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(Fuzz::bytesOf(data, size));
    const bool valid = Fuzz::isUtf8(bytes);
    // Each input again, moved up to the end of the sniffed bytes (few inputs are that long).
    const std::size_t nul = bytes.find('\0'), moved = Collect::sniffLength - 8;
    require(Collect::isText(bytes) == (valid && nul >= Collect::sniffLength) &&
                Collect::isText(std::string(moved, '-') + bytes) == (valid && nul >= 8),
            "text is exactly the valid UTF-8 without a NUL in the sniffed bytes");
    const auto packed = Pack::build({{.path = "/r/" + bytes, .data = bytes}}, "/r", {}, bytes);
    require(Fuzz::isUtf8(packed.markdown), "a document is valid UTF-8, whatever its names");
    require(packed.fileCount == (valid ? 1 : 0), "a file is packed exactly when it is valid UTF-8");
    std::string shown;
    for (const char c : bytes)
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? "\uFFFD" : std::string(1, c);
    require(!valid || packed.markdown.starts_with("# Context: " + shown + "\n"),
            "a valid title is shown as it is, its control characters as U+FFFD");
    return 0;
}
