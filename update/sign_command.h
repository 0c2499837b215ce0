#pragma once
// The command line of tessaly-sign, the release tool that makes the vendor's key and signs
// and checks bundles.

#include <ostream>
#include <string>
#include <variant>

#include "tessaly/exit_status.h"

namespace tessaly {

namespace SignTool {

struct Keygen {
    std::string privateKeyFile;
};

struct Sign {
    std::string privateKeyFile;
    std::string team;
    std::string version;
    std::string bundle;
};

struct Verify {
    std::string publicKeyHex;
    std::string team;
    std::string bundle;
};

using Command = std::variant<Keygen, Sign, Verify>;

// Either the command to run, or the exit status after help, the version or a usage error has
// been printed.
std::variant<Command, ExitStatus> parseArguments(int argc, const char* const* argv);

// Runs `command`, results on `out` and failures on `err`.
[[nodiscard]] ExitStatus run(const Command& command, std::ostream& out, std::ostream& err);

}  // namespace SignTool

}  // namespace tessaly
