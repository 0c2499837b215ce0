#pragma once
// The command line of tessaly-pack.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "tessaly/exit_status.h"

namespace tessaly {

namespace Cli {

struct Options {
    std::vector<std::string> paths;  // as typed; none means the current folder
    std::optional<std::string> output;
    std::optional<std::string> title;
    bool json = false;
    bool quiet = false;
    bool gitignore = false;             // leave out what git ignores
    std::vector<std::string> excludes;  // gitignore-style patterns, relative to the common root
};

// Either the options to run with, or the exit status after help, version or a usage error
// has been printed.
using Parsed = std::variant<Options, ExitStatus>;

Parsed parseArguments(int argc, const char* const* argv);

}  // namespace Cli

}  // namespace tessaly
