#include "run_pack.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "tessaly/atomic_file.h"
#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "tessaly/summary.h"

namespace tessaly {

namespace Cli {
namespace {

namespace fs = std::filesystem;

// Absolute and lexically tidy, links left alone: "." names the current folder by its name.
std::vector<fs::path> absoluteInputs(const std::vector<std::string>& paths) {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    if (paths.empty()) return {Pack::standardized(cwd)};
    std::vector<fs::path> inputs;
    for (const std::string& p : paths)
        inputs.push_back(Pack::standardized(cwd / p));  // an absolute p replaces cwd
    return inputs;
}

std::optional<Collect::FileId> fileId(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    return Collect::FileId{st.st_dev, st.st_ino};
}

bool usesIgnoreRules(const Options& options) {
    return options.gitignore || !options.excludes.empty();
}

// The ignore rules asked for, and the document's own destination, which is never packed, so
// packing again gives the same document.
Collect::Options collectOptions(const Options& options) {
    Collect::Options collect;
    collect.gitignore = options.gitignore;
    collect.excludes = options.excludes;
    struct stat st {};
    if (options.output && ::stat(options.output->c_str(), &st) == 0)
        if (auto id = fileId(st)) collect.excluded.push_back(*id);
    if (!options.output && ::fstat(STDOUT_FILENO, &st) == 0)
        if (auto id = fileId(st)) collect.excluded.push_back(*id);
    return collect;
}

std::optional<std::string> writeStandardOutput(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            return std::string("write(standard output): ") + std::strerror(n < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
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

}  // namespace

int runPack(const Options& options) {
    // A file-size limit must fail the write, not kill the process with the temporary left.
    std::signal(SIGXFSZ, SIG_IGN);
    const Pack::PackedInputs packed =
        Pack::packInputs(absoluteInputs(options.paths), options.title, collectOptions(options));

    const std::optional<std::string> error =
        options.output ? AtomicFile::write(*options.output, packed.result.markdown)
                       : writeStandardOutput(packed.result.markdown);
    if (error) {
        std::cerr << "tessaly-pack: " << *error << '\n';
        return exitWriteFailed;
    }
    if (options.json)
        printJson(packed, usesIgnoreRules(options));
    else if (!options.quiet)
        printSummary(packed);
    return 0;
}

}  // namespace Cli

}  // namespace tessaly
