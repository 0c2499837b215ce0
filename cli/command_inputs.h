#pragma once
// The paths the command line names, made ready for packing.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::Cli {

struct Input {
    std::string typed;           // as the user wrote it, for messages
    std::filesystem::path path;  // absolute and lexically tidy, links left alone
};

// The inputs, the current folder when none is named. Relative to the working folder when that
// folder is too deep to be opened by its path (beyond PATH_MAX).
std::vector<Input> commandInputs(const std::vector<std::string>& typed);

// The name of the working folder, found without its path, which may be too long to be told.
std::optional<std::string> workingFolderName();

}  // namespace tessaly::Cli
