#include "run_pack.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "command_inputs.h"
#include "destination.h"
#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "tessaly/summary.h"
#include "tessaly/system/descriptors.h"

namespace tessaly {

namespace Cli {
namespace {

namespace fs = std::filesystem;

void report(std::string_view object, std::string_view reason) {
    std::cerr << "tessaly-pack: " << object << ": " << reason << '\n';
}

// Inputs that do not exist are named and left out, so that they move neither the document's
// root nor its title; all of them when none exists. Adds the ones named to `named`.
std::vector<fs::path> existingInputs(const std::vector<Input>& inputs,
                                     std::vector<fs::path>& named) {
    std::vector<fs::path> found;
    for (const Input& input : inputs) {
        struct stat st {};
        if (::stat(input.path.c_str(), &st) == 0) {
            found.push_back(input.path);
        } else {
            report(input.typed, std::strerror(errno));
            named.push_back(input.path);
        }
    }
    if (found.empty())
        for (const Input& input : inputs)
            found.push_back(input.path);
    return found;
}

// The inputs that could not be opened, as the user named them, each once.
void reportProblems(const Pack::PackedInputs& packed, const std::vector<Input>& inputs,
                    std::vector<fs::path>& named) {
    for (const Collect::InputProblem& problem : packed.problems) {
        if (std::find(named.begin(), named.end(), problem.path) != named.end()) continue;
        const auto typed = std::find_if(inputs.begin(), inputs.end(),
                                        [&](const Input& i) { return i.path == problem.path; });
        report(typed == inputs.end() ? problem.path : typed->typed, std::strerror(problem.error));
        named.push_back(problem.path);
    }
}

// The title a user sees: a working folder too deep to be named is still called by its name.
std::optional<std::string> titleFor(const Options& options, const std::vector<fs::path>& inputs) {
    if (options.title) return options.title;
    if (inputs.size() == 1 && inputs.front() == ".") return workingFolderName();
    return std::nullopt;
}

void printSummary(const Pack::PackedInputs& packed) {
    const PackResult& r = packed.result;
    std::cerr << Summary::statusText(r) << '\n';
    std::cerr << r.fileCount << " files · " << Summary::tokensFigure(r.tokenEstimate)
              << " tokens · " << Summary::byteCountFigure(r.byteCount) << '\n';
    if (r.overLimit()) std::cerr << Summary::sizeWarning << '\n';
    if (const std::string notes = Summary::notesLine(r); !notes.empty()) std::cerr << notes << '\n';
    for (const std::string& line : r.skipped)
        std::cerr << "  " << line << '\n';
}

void printJson(const Pack::PackedInputs& packed, bool withIgnored) {
    const PackResult& r = packed.result;
    nlohmann::ordered_json j;
    j["title"] = packed.title;
    j["root"] = packed.root.string();
    j["fileCount"] = r.fileCount;
    j["tokenEstimate"] = r.tokenEstimate;
    j["byteCount"] = r.byteCount;
    j["duplicates"] = r.duplicates;
    j["skipped"] = r.skipped;
    if (withIgnored) j["ignored"] = r.ignored;
    j["overLimit"] = r.overLimit();
    std::cerr << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

ExitStatus pack(const Options& options) {
    const std::vector<Input> typed = commandInputs(options.paths);
    std::vector<fs::path> unusable;  // inputs named on standard error already
    const std::vector<fs::path> inputs = existingInputs(typed, unusable);
    if (options.output) {
        if (const auto conflict = destinationConflict(*options.output, inputs)) {
            report(*options.output, *conflict + "; nothing written");
            return ExitStatus::usage;
        }
    }
    Collect::Options collecting;
    collecting.excluded = destinationFiles(options.output);
    collecting.gitignore = options.gitignore;
    collecting.excludes = options.excludes;
    const Pack::PackedInputs packed =
        Pack::packInputs(inputs, titleFor(options, inputs), collecting);
    reportProblems(packed, typed, unusable);

    writeDocument(options.output, packed.result.markdown);
    if (options.json)
        printJson(packed, options.gitignore || !options.excludes.empty());
    else if (!options.quiet)
        printSummary(packed);
    return unusable.empty() ? ExitStatus::success : ExitStatus::failure;
}

}  // namespace

ExitStatus runPack(const Options& options) {
    // A file-size limit must fail the write, not kill the process with the temporary left.
    std::signal(SIGXFSZ, SIG_IGN);
    System::raiseDescriptorLimit();
    try {
        return pack(options);
    } catch (const std::bad_alloc&) {
        std::cerr << "tessaly-pack: out of memory\n";
    } catch (const std::system_error& error) {
        std::cerr << "tessaly-pack: " << error.what() << '\n';
    }
    return ExitStatus::failure;
}

}  // namespace Cli

}  // namespace tessaly
