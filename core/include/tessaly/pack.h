#pragma once
// Building the context document: de-duplication, relative paths, ordering, layout,
// code fences, language tags and the token estimate.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/collect.h"
#include "tessaly/pack_result.h"

namespace tessaly {

namespace Pack {

// The document for `files` (in collection order), paths taken against `root`. Without a
// title the root folder's name is used. Each file's bytes are let go of as soon as they are in
// the document, so the bytes and the document are never both held in full (copies of the
// files that the caller keeps share the bytes and keep them alive).
[[nodiscard]] PackResult build(std::vector<Collect::CollectedFile> files,
                               const std::filesystem::path& root, std::vector<std::string> skipped,
                               std::optional<std::string> title = std::nullopt);

// User-perceived characters divided by 4, rounded down, but at least 1.
std::int64_t estimateTokens(std::string_view text);

// The path with "." and ".." resolved lexically (links left alone) and no trailing "/".
std::filesystem::path standardized(const std::filesystem::path& path);

// The path written in the document: below root when the file lies in it, else the bare name.
std::string relPath(const std::filesystem::path& file, const std::filesystem::path& root);

// Sort group: 0 README files, 1 files at the top, 2 files in subfolders.
int rank(std::string_view rel);

// Backticks that nothing inside `text` can close: one more than its longest run, at least 3.
std::string fence(std::string_view text);

// The tag written after the opening fence, from the path's extension: the table's tag, else
// the lower-cased extension unless it holds a backtick, a control character or a space; may
// be empty.
std::string language(std::string_view path);

}  // namespace Pack

}  // namespace tessaly
