#include "launch.h"

#include "tessaly/pack.h"

namespace tessaly {

namespace Launch {

Request parse(const std::vector<std::string>& arguments, const std::filesystem::path& cwd) {
    Request request;
    if (arguments.size() == 1) {
        if (arguments[0] == "--help" || arguments[0] == "-h") return {Action::help, {}};
        if (arguments[0] == "--version") return {Action::version, {}};
    }
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument.empty()) continue;
        // "tessaly ." names the folder itself, as a shell user means it.
        request.paths.push_back(Pack::standardized(cwd / argument));
    }
    return request;
}

std::string usage() {
    return "Usage: tessaly [PATH...]\n"
           "Opens Orvane Markdown Tessaly and packs the given files and folders into one\n"
           "context.md. When Tessaly is already running, the paths are packed in its window.\n";
}

}  // namespace Launch

}  // namespace tessaly
