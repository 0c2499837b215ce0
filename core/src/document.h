#pragma once
// Writing the context document from its entries, already ordered.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/bytes.h"

namespace tessaly {

namespace Pack {

// One file's block. `body` points into bytes that outlive the entry.
struct DocumentEntry {
    std::string span;  // the path as the document writes it, a code span
    std::string_view body;
    std::int64_t characters = 0;  // user-perceived characters of the body alone
    std::string fence;
    std::string tag;
    Bytes* owner = nullptr;  // when set, let go of as soon as the body is in the document
};

struct Document {
    std::string markdown;
    std::int64_t characters = 0;  // of the whole markdown
};

// The markdown, written into one buffer reserved to its final size, and its characters:
// the bodies' own counts added up, and only the framing around them counted anew.
Document writeDocument(std::string_view title, const std::vector<DocumentEntry>& entries);

// User-perceived characters divided by 4, rounded down, but at least 1.
std::int64_t tokensForCharacters(std::int64_t characters);

}  // namespace Pack

}  // namespace tessaly
