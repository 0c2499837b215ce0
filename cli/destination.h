#pragma once
// Where the document goes: a file named with -o, or standard output.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/collect.h"

namespace tessaly::Cli {

// The destination's own file, never packed, so that packing again gives the same document.
std::vector<Collect::FileId> destinationFiles(const std::optional<std::string>& output);

// Why writing to `output` would destroy what is packed: it is one of the inputs, or a file
// inside a packed folder that is not an earlier document. Nothing when it is safe.
std::optional<std::string> destinationConflict(const std::filesystem::path& output,
                                               const std::vector<std::filesystem::path>& inputs);

// Writes the document to `output`, or to standard output; throws std::system_error.
void writeDocument(const std::optional<std::string>& output, std::string_view markdown);

}  // namespace tessaly::Cli
