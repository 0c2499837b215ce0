#pragma once
// Collection as the packer uses it: each file's path kept as the string the walk built. A
// path object splits itself into its parts, which for a file 400 folders deep costs more
// memory and time than its bytes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tessaly/bytes.h"
#include "tessaly/collect.h"
#include "tessaly/file_facts.h"
#include "tessaly/pack_result.h"

namespace tessaly {

namespace Collect {

struct FoundFile {
    std::string url;
    Bytes data;
    FileFacts facts;
};

struct Found {
    std::vector<FoundFile> files;
    std::vector<std::string> skipped;
    std::int64_t ignored = 0;
};

// What Collect::files collects, with plain string paths.
Found find(const std::vector<std::filesystem::path>& inputs, const Options& options);

}  // namespace Collect

namespace Pack {

// Pack::build for found files handed over whole.
PackResult build(std::vector<Collect::FoundFile>&& files, const std::filesystem::path& root,
                 std::vector<std::string> skipped, std::optional<std::string> title);

}  // namespace Pack

}  // namespace tessaly
