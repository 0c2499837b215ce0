#pragma once
// What the command line asks of the application.

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly {

namespace Launch {

enum class Action { run, help, version };

struct Request {
    Action action = Action::run;
    // Absolute and standardized, in the order given.
    std::vector<std::filesystem::path> paths;
};

// Everything after the program name is a path, except a lone --help or --version, and "--"
// ends the options. Relative paths are taken against cwd, "." and ".." resolved.
Request parse(const std::vector<std::string>& arguments, const std::filesystem::path& cwd);

std::string usage();

}  // namespace Launch

}  // namespace tessaly
