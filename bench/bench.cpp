// tessaly-bench: times whole runs of the packer on real and generated trees beside the floor
// of reading the same files once (with cat, and with a plain read loop), and writes the
// generated trees.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "child.h"
#include "document.h"
#include "generate.h"
#include "tessaly/system/system_error.h"

extern char** environ;

namespace tessaly {

namespace {

namespace fs = std::filesystem;

constexpr const char* usageText =
    "usage: tessaly-bench run --pack PROGRAM [--peer COMMAND] [--runs N] [--compare A:B]...\n"
    "                         [LABEL=]TREE...\n"
    "       tessaly-bench generate DIR [--scale N | --flat N | --deep N | --scripts N]\n"
    "       tessaly-bench read [--] FILE...\n"
    "\n"
    "run       packs each TREE with `PROGRAM --json TREE`, alternating with cat and with a\n"
    "          plain read loop over the files the document lists, and prints files, bytes,\n"
    "          wall time, MB/s and peak memory. --peer runs COMMAND through /bin/sh in the\n"
    "          tree, with the tree as $1, and times it too. --compare prints B's cost per\n"
    "          byte over A's (by label).\n"
    "generate  writes a tree that looks like a project checkout (--scale N makes it N times\n"
    "          larger), or N small files in one folder (--flat), or an N-deep folder chain\n"
    "          (--deep), or N files of text in Cyrillic, Greek, Chinese, Japanese, Korean,\n"
    "          Hindi, Arabic and emoji (--scripts). The same arguments give the same bytes\n"
    "          on every machine.\n"
    "read      reads each FILE once into one buffer and writes nothing: the floor without\n"
    "          cat's per-file buffer.\n";

constexpr double megabyte = 1e6;
constexpr double mebibyte = 1024.0 * 1024.0;
constexpr double speedTarget = 1.0;            // pack time over cat time
constexpr double memorySlack = 32 * mebibyte;  // peak memory over twice the document

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Tree {
    std::string label;
    fs::path path;
};

struct RunOptions {
    std::string pack;
    std::string peer;
    int runs = 5;
    std::vector<std::pair<std::string, std::string>> compares;
    std::vector<Tree> trees;
};

// One timed run of a command (or of all its chunks).
struct Sample {
    double seconds = 0;
    std::int64_t peakBytes = 0;
};

// The figures kept from several samples.
struct Timing {
    double seconds = 0;          // median
    std::int64_t peakBytes = 0;  // largest
};

struct PeerFigures {
    std::int64_t documentBytes = 0;
    Timing timing;
};

struct Row {
    Tree tree;
    Json::Figures json;
    std::int64_t listedFiles = 0;
    std::int64_t missingFiles = 0;  // listed, but no such file under the tree
    std::int64_t inputBytes = 0;
    std::int64_t documentBytes = 0;
    Timing pack;
    Timing cat;
    Timing read;  // the plain read loop of `tessaly-bench read`
    std::optional<PeerFigures> peer;
};

// ---- running and timing --------------------------------------------------------------

// The last line the child wrote to standard error, to explain a failure.
std::string lastLine(const Child::UniqueFd& errors) {
    std::string text = Child::readAll(errors.get());
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const std::size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

// Runs a command that must succeed; stdout goes to `out`, stderr to `errors`.
Sample runChecked(const std::vector<std::string>& argv, const fs::path& dir, int out,
                  const Child::UniqueFd& errors) {
    static const Child::UniqueFd null = Child::openNull();
    const Child::Figures figures = Child::run(argv, dir, {null.get(), out, errors.get()});
    const std::string failure = Child::failure(figures.status);
    if (!failure.empty()) {
        const std::string reason = lastLine(errors);
        throw std::runtime_error(argv.front() + " in " + dir.string() + ": " + failure +
                                 (reason.empty() ? "" : ": " + reason));
    }
    return {figures.seconds, figures.peakBytes};
}

Sample runToNull(const std::vector<std::string>& argv, const fs::path& dir) {
    static const Child::UniqueFd null = Child::openNull();
    return runChecked(argv, dir, null.get(), Child::captureFile("stderr"));
}

// Runs every command in turn, as one sample: their times add up, their peaks do not.
Sample runAllToNull(const std::vector<std::vector<std::string>>& commands, const fs::path& dir) {
    Sample total;
    for (const auto& argv : commands) {
        const Sample one = runToNull(argv, dir);
        total.seconds += one.seconds;
        total.peakBytes = std::max(total.peakBytes, one.peakBytes);
    }
    return total;
}

Timing summarize(std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
    const std::size_t middle = samples.size() / 2;
    Timing timing;
    timing.seconds = samples.size() % 2 == 1
                         ? samples[middle].seconds
                         : (samples[middle - 1].seconds + samples[middle].seconds) / 2;
    for (const Sample& sample : samples) {
        timing.peakBytes = std::max(timing.peakBytes, sample.peakBytes);
    }
    return timing;
}

// ---- what the packer kept --------------------------------------------------------------

std::vector<std::string> packCommand(const RunOptions& options, const Tree& tree) {
    return {options.pack, "--json", tree.path.string()};
}

std::vector<std::string> peerCommand(const RunOptions& options, const Tree& tree) {
    return {"/bin/sh", "-c", options.peer, "peer", tree.path.string()};
}

// The untimed first run, which also warms the cache: the document's size and file list,
// and the --json figures.
std::vector<std::string> firstPack(const RunOptions& options, Row& row) {
    const Child::UniqueFd document = Child::captureFile("document");
    const Child::UniqueFd errors = Child::captureFile("stderr");
    runChecked(packCommand(options, row.tree), row.tree.path, document.get(), errors);
    row.documentBytes = Child::sizeOf(document.get());
    const auto json = Json::parseFigures(Child::readAll(errors.get()));
    if (!json) throw std::runtime_error(options.pack + " --json: no JSON object on stderr");
    row.json = *json;
    return Document::listedFiles(document.get());
}

// Sizes the listed files; returns those that exist, for the floors.
std::vector<std::string> sizeFiles(const std::vector<std::string>& listed, Row& row) {
    std::vector<std::string> found;
    found.reserve(listed.size());
    for (const std::string& rel : listed) {
        struct stat info {};
        if (::stat((row.tree.path / rel).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            ++row.missingFiles;
            continue;
        }
        row.inputBytes += info.st_size;
        found.push_back(rel);
    }
    row.listedFiles = static_cast<std::int64_t>(listed.size());
    return found;
}

std::size_t environmentBytes() {
    std::size_t bytes = 0;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bytes += std::strlen(*entry) + 1 + sizeof(char*);
    }
    return bytes;
}

// `head` followed by the files, split so no command line passes the system's limit. Half
// of what the environment leaves is used, as the kernel's count also includes the stack's
// other parts.
std::vector<std::vector<std::string>> chunkedCommands(const std::vector<std::string>& head,
                                                      const std::vector<std::string>& files) {
    const long argMax = ::sysconf(_SC_ARG_MAX);
    const std::size_t limit = argMax > 0 ? static_cast<std::size_t>(argMax) : 131072;
    const std::size_t budget = (limit - std::min(limit / 2, environmentBytes())) / 2;
    std::vector<std::vector<std::string>> commands;
    std::size_t used = budget;
    for (const std::string& file : files) {
        const std::size_t cost = file.size() + 1 + sizeof(char*);
        if (used + cost > budget) {
            commands.push_back(head);
            used = 64;
        }
        commands.back().push_back(file);
        used += cost;
    }
    return commands;
}

// This program, for running its own read loop as a child.
const std::string& selfPath() {
    static const std::string path = fs::read_symlink("/proc/self/exe").string();
    return path;
}

// ---- measuring a tree ------------------------------------------------------------------

Row measureTree(const RunOptions& options, const Tree& tree) {
    Row row;
    row.tree = tree;
    const std::vector<std::string> files = sizeFiles(firstPack(options, row), row);
    const auto cat = chunkedCommands({"/bin/cat", "--"}, files);
    const auto read = chunkedCommands({selfPath(), "read", "--"}, files);
    runAllToNull(cat, tree.path);

    const auto pack = packCommand(options, tree);
    const auto peer = peerCommand(options, tree);
    if (!options.peer.empty()) {
        const Child::UniqueFd document = Child::captureFile("peer-document");
        runChecked(peer, tree.path, document.get(), Child::captureFile("stderr"));
        row.peer = PeerFigures{Child::sizeOf(document.get()), {}};
    }

    // Alternating keeps a slow spell of the machine from landing on one side only.
    std::vector<Sample> packSamples, catSamples, readSamples, peerSamples;
    for (int run = 0; run < options.runs; ++run) {
        packSamples.push_back(runToNull(pack, tree.path));
        catSamples.push_back(runAllToNull(cat, tree.path));
        readSamples.push_back(runAllToNull(read, tree.path));
        if (row.peer) peerSamples.push_back(runToNull(peer, tree.path));
    }
    row.pack = summarize(packSamples);
    row.cat = summarize(catSamples);
    row.read = summarize(readSamples);
    if (row.peer) row.peer->timing = summarize(peerSamples);
    return row;
}

// ---- printing --------------------------------------------------------------------------

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string grouped(std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? -value : value);
    std::string text = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string ratio(double over, double under) {
    return under > 0 ? fixed(over / under, 2) : "-";
}

void printCells(int labelWidth, const std::vector<std::string>& cells) {
    std::printf("%-*s", labelWidth, cells.front().c_str());
    constexpr int widths[] = {8, 8, 8, 9, 7, 9, 8, 6, 8, 6};
    for (std::size_t i = 1; i < cells.size(); ++i)
        std::printf(" %*s", widths[i - 1], cells[i].c_str());
    std::printf("\n");
    std::fflush(stdout);
}

void printHeader(int labelWidth, int runs) {
    std::printf(
        "median of %d alternated runs after a warm-up, output to /dev/null; peak is the\n"
        "largest of those runs; MB = 10^6 bytes, MiB = 2^20 bytes; ratio = wall / cat ms;\n"
        "read ms = the same files through a plain read loop; x read = wall / read ms\n\n",
        runs);
    printCells(labelWidth, {"tree", "files", "in MB", "doc MB", "wall ms", "MB/s", "peak MiB",
                            "cat ms", "ratio", "read ms", "x read"});
}

void printRow(int labelWidth, const Row& row) {
    printCells(labelWidth,
               {row.tree.label, grouped(row.listedFiles), fixed(row.inputBytes / megabyte, 1),
                fixed(row.documentBytes / megabyte, 1), fixed(row.pack.seconds * 1e3, 1),
                fixed(row.inputBytes / megabyte / row.pack.seconds, 1),
                fixed(row.pack.peakBytes / mebibyte, 1), fixed(row.cat.seconds * 1e3, 1),
                ratio(row.pack.seconds, row.cat.seconds), fixed(row.read.seconds * 1e3, 1),
                ratio(row.pack.seconds, row.read.seconds)});
    if (!row.peer) return;
    const PeerFigures& peer = *row.peer;
    printCells(
        labelWidth,
        {"  peer", "-", "-", fixed(peer.documentBytes / megabyte, 1),
         fixed(peer.timing.seconds * 1e3, 1), "-", fixed(peer.timing.peakBytes / mebibyte, 1),
         fixed(row.cat.seconds * 1e3, 1), ratio(peer.timing.seconds, row.cat.seconds),
         fixed(row.read.seconds * 1e3, 1), ratio(peer.timing.seconds, row.read.seconds)});
}

void printNotes(const std::vector<Row>& rows) {
    if (rows.empty()) return;
    std::printf("\nwhat was packed\n");
    for (const Row& row : rows) {
        const Json::Figures& json = row.json;
        std::printf("  %s: %s files kept, %s duplicates, %s skipped, %s tokens%s\n",
                    row.tree.label.c_str(), grouped(json.fileCount).c_str(),
                    grouped(json.duplicates).c_str(), grouped(json.skipped).c_str(),
                    grouped(json.tokenEstimate).c_str(), json.overLimit ? " (over limit)" : "");
        if (json.fileCount != row.listedFiles) {
            std::printf("    the document lists %s files, --json says %s\n",
                        grouped(row.listedFiles).c_str(), grouped(json.fileCount).c_str());
        }
        if (row.missingFiles > 0) {
            std::printf(
                "    not found under the tree, so left out of the floors: %s listed files\n",
                grouped(row.missingFiles).c_str());
        }
    }
}

void printTargets(const std::vector<Row>& rows) {
    if (rows.empty()) return;
    std::printf("\ntargets: wall at most %.1f x cat; peak at most 2 x document + 32 MiB\n",
                speedTarget);
    for (const Row& row : rows) {
        const double speed = row.cat.seconds > 0 ? row.pack.seconds / row.cat.seconds : 0;
        const double allowed = 2.0 * static_cast<double>(row.documentBytes) + memorySlack;
        const auto peak = static_cast<double>(row.pack.peakBytes);
        std::printf("  %s: speed %.2f x cat (%s; %s x read), memory %.1f of %.1f MiB (%s)\n",
                    row.tree.label.c_str(), speed, speed <= speedTarget ? "met" : "not met",
                    ratio(row.pack.seconds, row.read.seconds).c_str(), peak / mebibyte,
                    allowed / mebibyte, peak <= allowed ? "met" : "not met");
    }
}

const Row* findRow(const std::vector<Row>& rows, const std::string& label) {
    for (const Row& row : rows) {
        if (row.tree.label == label) return &row;
    }
    return nullptr;
}

// Cost per byte of one tree over another: 1.00 is linear; growth allows 1.10 (4.4 x time
// for 4 x bytes).
void printCompares(const RunOptions& options, const std::vector<Row>& rows) {
    if (options.compares.empty()) return;
    std::printf("\ncost per byte, second tree over first (linear = 1.00)\n");
    for (const auto& [first, second] : options.compares) {
        const Row* a = findRow(rows, first);
        const Row* b = findRow(rows, second);
        if (!a || !b || a->inputBytes == 0 || a->pack.seconds <= 0) {
            std::printf("  %s vs %s: not measured\n", second.c_str(), first.c_str());
            continue;
        }
        const double bytes = static_cast<double>(b->inputBytes) / a->inputBytes;
        const double time = b->pack.seconds / a->pack.seconds;
        // The floors' own growth: many small files cost more per byte to read at all.
        const double cat = a->cat.seconds > 0 ? b->cat.seconds / a->cat.seconds / bytes : 0;
        const double read = a->read.seconds > 0 ? b->read.seconds / a->read.seconds / bytes : 0;
        std::printf(
            "  %s vs %s: bytes x %.2f, wall x %.2f, per byte x %.2f (cat per byte x %.2f, "
            "read per byte x %.2f)\n",
            second.c_str(), first.c_str(), bytes, time, time / bytes, cat, read);
    }
}

int labelWidth(const RunOptions& options) {
    std::size_t width = 4;
    for (const Tree& tree : options.trees)
        width = std::max(width, tree.label.size());
    return static_cast<int>(width);
}

int runCommand(const RunOptions& options) {
    const int width = labelWidth(options);
    printHeader(width, options.runs);
    std::vector<Row> rows;
    int failures = 0;
    for (const Tree& tree : options.trees) {
        try {
            rows.push_back(measureTree(options, tree));
            printRow(width, rows.back());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "tessaly-bench: %s: %s\n", tree.label.c_str(), error.what());
            ++failures;
        }
    }
    printNotes(rows);
    printTargets(rows);
    printCompares(options, rows);
    return failures == 0 ? 0 : 1;
}

// ---- arguments -------------------------------------------------------------------------

int positiveNumber(const std::string& option, const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1) {
        throw UsageError(option + " wants a positive whole number, not '" + text + "'");
    }
    return value;
}

// "LABEL=PATH" or just "PATH", made absolute so the document's paths are relative to it.
Tree parseTree(const std::string& argument) {
    const std::size_t equals = argument.find('=');
    const bool labelled = equals != std::string::npos && equals > 0 && argument.find('/') > equals;
    const std::string path = labelled ? argument.substr(equals + 1) : argument;
    if (path.empty()) throw UsageError("empty tree path in '" + argument + "'");
    Tree tree{labelled ? argument.substr(0, equals) : path, fs::absolute(path).lexically_normal()};
    if (!fs::is_directory(tree.path)) {
        throw std::runtime_error("stat(" + tree.path.string() + "): not a folder");
    }
    return tree;
}

// Walks options that take one value each.
class Arguments {
  public:
    Arguments(const std::vector<std::string>& args, std::size_t first) : args_(args), at_(first) {}

    bool done() const { return at_ >= args_.size(); }
    const std::string& next() { return args_[at_++]; }
    const std::string& valueOf(const std::string& option) {
        if (done()) throw UsageError(option + " needs a value");
        return next();
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t at_;
};

std::pair<std::string, std::string> parseCompare(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw UsageError("--compare wants A:B, two tree labels, not '" + text + "'");
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

RunOptions parseRun(const std::vector<std::string>& args) {
    RunOptions options;
    Arguments arguments(args, 1);
    while (!arguments.done()) {
        const std::string& arg = arguments.next();
        if (arg == "--pack") {
            options.pack = arguments.valueOf(arg);
        } else if (arg == "--peer") {
            options.peer = arguments.valueOf(arg);
        } else if (arg == "--runs") {
            options.runs = positiveNumber(arg, arguments.valueOf(arg));
        } else if (arg == "--compare") {
            options.compares.push_back(parseCompare(arguments.valueOf(arg)));
        } else if (arg.starts_with("-")) {
            throw UsageError("unknown option " + arg);
        } else {
            options.trees.push_back(parseTree(arg));
        }
    }
    if (options.pack.empty()) throw UsageError("run needs --pack PROGRAM");
    if (options.trees.empty()) throw UsageError("run needs at least one TREE");
    return options;
}

Generate::Request parseGenerate(const std::vector<std::string>& args) {
    Generate::Request request;
    Arguments arguments(args, 1);
    int shapes = 0;
    while (!arguments.done()) {
        const std::string& arg = arguments.next();
        if (arg == "--scale" || arg == "--flat" || arg == "--deep" || arg == "--scripts") {
            request.count = positiveNumber(arg, arguments.valueOf(arg));
            request.shape = arg == "--flat"      ? Generate::Shape::Flat
                            : arg == "--deep"    ? Generate::Shape::Deep
                            : arg == "--scripts" ? Generate::Shape::Scripts
                                                 : Generate::Shape::Checkout;
            ++shapes;
        } else if (arg.starts_with("-")) {
            throw UsageError("unknown option " + arg);
        } else if (request.dir.empty()) {
            request.dir = arg;
        } else {
            throw UsageError("generate takes one DIR");
        }
    }
    if (request.dir.empty()) throw UsageError("generate needs DIR");
    if (shapes > 1) throw UsageError("give one of --scale, --flat, --deep and --scripts");
    return request;
}

int generateCommand(const Generate::Request& request) {
    const Generate::Tally tally = Generate::tree(request);
    std::printf(
        "%s: %s files, %.1f MB; %s text files to keep (%.1f MB), %s duplicates, "
        "%s pruned, %s rejected\n",
        request.dir.c_str(),
        grouped(tally.keptFiles + tally.duplicateFiles + tally.prunedFiles + tally.rejectedFiles)
            .c_str(),
        tally.totalBytes / megabyte, grouped(tally.keptFiles).c_str(), tally.keptBytes / megabyte,
        grouped(tally.duplicateFiles).c_str(), grouped(tally.prunedFiles).c_str(),
        grouped(tally.rejectedFiles).c_str());
    return 0;
}

// Reads each file once through one buffer, as cat does but without cat's buffer allocated
// and freed per file, which costs a TLB flush each on some virtual machines.
int readCommand(const std::vector<std::string>& args) {
    static char buffer[128 * 1024];
    const std::size_t first = args.size() > 1 && args[1] == "--" ? 2 : 1;
    for (std::size_t i = first; i < args.size(); ++i) {
        const Child::UniqueFd file(::open(args[i].c_str(), O_RDONLY | O_CLOEXEC));
        if (file.get() < 0) throw std::runtime_error(System::errorText("open", args[i]));
        for (;;) {
            const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
            if (got == 0) break;
            if (got < 0 && errno != EINTR) {
                throw std::runtime_error(System::errorText("read", args[i]));
            }
        }
    }
    return 0;
}

int dispatch(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError("missing command");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (args[0] == "run") return runCommand(parseRun(args));
    if (args[0] == "generate") return generateCommand(parseGenerate(args));
    if (args[0] == "read") return readCommand(args);
    throw UsageError("unknown command " + args[0]);
}

}  // namespace

}  // namespace tessaly

int main(int argc, char** argv) {
    using namespace tessaly;
    try {
        return dispatch(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "tessaly-bench: %s\nTry 'tessaly-bench --help'.\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tessaly-bench: %s\n", error.what());
        return 1;
    }
}
