#include "tessaly/collect.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

#include "byte_arena.h"
#include "digest.h"
#include "first_places.h"
#include "found_files.h"
#include "ignore_rules.h"
#include "read_file.h"
#include "tessaly/text.h"
#include "unique_fd.h"
#include "worker_pool.h"

namespace tessaly {

namespace Collect {
namespace {

namespace fs = std::filesystem;

struct DirEntry {
    std::string name;
    unsigned char type;  // DT_* of the directory entry; DT_UNKNOWN when it did not say
};

struct DirCloser {
    void operator()(DIR* d) const noexcept { ::closedir(d); }
};
using DirStream = std::unique_ptr<DIR, DirCloser>;

bool isHidden(std::string_view name) {
    return !name.empty() && name.front() == '.';
}

// `folder / name` as a path object would join them, without splitting either into parts.
std::string joined(const std::string& folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

bool hasNul(std::string_view bytes) {
    const std::string_view sniff = bytes.substr(0, sniffLength);
    return !sniff.empty() && std::memchr(sniff.data(), '\0', sniff.size()) != nullptr;
}

unsigned char typeFromMode(mode_t mode) {
    if (S_ISREG(mode)) return DT_REG;
    if (S_ISDIR(mode)) return DT_DIR;
    if (S_ISLNK(mode)) return DT_LNK;
    if (S_ISFIFO(mode)) return DT_FIFO;
    if (S_ISSOCK(mode)) return DT_SOCK;
    if (S_ISCHR(mode)) return DT_CHR;
    if (S_ISBLK(mode)) return DT_BLK;
    return DT_UNKNOWN;
}

// The visible entries of an open folder, in byte order of their names, so every machine
// walks a tree the same way.
std::vector<DirEntry> visibleEntries(DIR* dir) {
    std::vector<DirEntry> entries;
    while (const dirent* e = ::readdir(dir)) {
        if (isHidden(e->d_name)) continue;  // also "." and ".."
        entries.push_back({e->d_name, e->d_type});
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

struct Slot;

// A file for a worker to open, read and measure.
struct ReadTask {
    std::string name;  // opened relative to the batch's folder; named in the skipped line
    std::string url;
    Slot* slot = nullptr;
    std::size_t order = 0;  // the slot's place in the walk
};

// Files of one folder, or one file given directly, handed over together: the queue is
// taken once a batch rather than once a file.
struct ReadBatch {
    std::shared_ptr<DIR> folder;  // kept open while its files wait; null: open `url` as given
    std::vector<ReadTask> tasks;
};

// What became of one thing met, at its place in the walk's order: a kept file, a skipped
// line, or neither (dropped silently).
struct Slot {
    bool kept = false;
    FoundFile file;
    std::string skipped;
};

class Collector {
  public:
    explicit Collector(const Options& options) : options_(options) {
        const unsigned threads =
            std::min(options.threads == 0 ? std::thread::hardware_concurrency() : options.threads,
                     maxThreads);
        if (threads <= 1) return;
        try {
            // A few batches per thread keep each busy while the walk lists folders.
            readers_.emplace(threads, std::size_t{4} * threads,
                             [this](ReadBatch& batch, ByteArena& arena) { read(batch, arena); });
        } catch (const std::exception&) {
            readers_.reset();  // no threads to be had: read on this one
        }
    }

    void addInput(const fs::path& input) {
        struct stat st {};
        if (::stat(input.c_str(), &st) != 0) return;  // missing, or a link loop
        if (!S_ISDIR(st.st_mode)) {
            classifyInput(input, st);
            return;
        }
        UniqueFd fd(::open(input.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd) return;
        startIgnoreRules(input.native());
        walk(std::move(fd), input.native());
    }

    // Waits for the reads still in flight, then lists the outcomes in the walk's order.
    Found take() {
        if (readers_) readers_->finish();
        Found collected;
        for (Slot& slot : slots_) {
            if (slot.kept)
                collected.files.push_back(std::move(slot.file));
            else if (!slot.skipped.empty())
                collected.skipped.push_back(std::move(slot.skipped));
        }
        slots_.clear();
        collected.ignored = ignored_;
        return collected;
    }

  private:
    static constexpr std::size_t batchSize = 32;
    static constexpr unsigned maxThreads = 64;  // more only wait on the disk and the walk

    void walk(UniqueFd folderFd, const std::string& folder) {
        const std::shared_ptr<DIR> dir(::fdopendir(folderFd.get()), DirCloser());
        if (!dir) return;
        folderFd.release();
        const int dirFd = ::dirfd(dir.get());
        if (ignoreRules_) ignoreRules_->enterFolder(folder, dirFd);
        ReadBatch batch{dir, {}};
        for (DirEntry& entry : visibleEntries(dir.get())) {
            if (options_.stop.stop_requested()) break;
            // The entry's own type answers without a stat; only file systems that leave it
            // out cost one.
            if (entry.type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(dirFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                    entry.type = typeFromMode(st.st_mode);
            }
            if (entry.type == DT_LNK) continue;  // links are never collected nor followed
            if (ignoredByRules(folder, entry)) continue;
            if (entry.type == DT_DIR) {
                hand(batch);  // the workers go on while the walk goes down
                enterFolder(dirFd, entry.name, folder);
                continue;
            }
            classifyEntry(entry, folder, batch);
            if (batch.tasks.size() >= batchSize) hand(batch);
        }
        hand(batch);
    }

    void enterFolder(int dirFd, const std::string& name, const std::string& folder) {
        if (skipDirs().contains(name)) return;
        // O_NOFOLLOW: a folder swapped for a link since it was listed is not entered.
        UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd) walk(std::move(fd), joined(folder, name));
    }

    // Ignore rules for the walk of one input folder, when asked for.
    void startIgnoreRules(const std::string& input) {
        ignoreRules_.reset();
        if (options_.gitignore || !options_.excludes.empty())
            ignoreRules_.emplace(input, options_.gitignore, options_.excludes,
                                 options_.excludesBase);
    }

    // Left out by the ignore rules: counted, with no skipped line, and a folder not entered.
    // What the engine's own rules leave out anyway is not asked about, nor counted.
    bool ignoredByRules(const std::string& folder, const DirEntry& entry) {
        if (!ignoreRules_) return false;
        const bool isFolder = entry.type == DT_DIR;
        if (isFolder ? skipDirs().contains(entry.name) : droppedByName(entry.name)) return false;
        if (!ignoreRules_->isIgnored(folder, entry.name, isFolder)) return false;
        ++ignored_;
        return true;
    }

    // A file met inside a folder: opened relative to it, so long paths never matter.
    void classifyEntry(DirEntry& entry, const std::string& folder, ReadBatch& batch) {
        if (droppedByName(entry.name)) return;
        // Pipes, sockets and devices are never opened: reading them may block or never end.
        if (entry.type != DT_REG && entry.type != DT_UNKNOWN)
            return skip(entry.name, notTextSuffix);
        std::string url = joined(folder, entry.name);
        batch.tasks.push_back({std::move(entry.name), std::move(url), nullptr, slots_.size()});
        batch.tasks.back().slot = &slots_.emplace_back();
    }

    // A file given directly: links are followed, as the user named it.
    void classifyInput(const fs::path& input, const struct stat& st) {
        std::string name(Text::lastComponent(input.string()));
        if (droppedByName(name) || isExcluded(st)) return;
        if (!S_ISREG(st.st_mode)) return skip(name, notTextSuffix);
        if (st.st_size > sizeLimit) return skip(name, tooLargeSuffix);
        ReadBatch batch;
        batch.tasks.push_back(
            {std::move(name), input.native(), &slots_.emplace_back(), slots_.size() - 1});
        hand(batch);
    }

    // To a worker when there are any, else read here and now.
    void hand(ReadBatch& batch) {
        if (batch.tasks.empty()) return;
        ReadBatch handed{batch.folder, std::move(batch.tasks)};
        batch.tasks.clear();
        if (readers_ && readers_->submit(std::move(handed))) return;
        read(handed, arena_);
    }

    // Runs on a worker: touches only the batch's own slots, which the deque never moves.
    void read(ReadBatch& batch, ByteArena& arena) noexcept {
        for (ReadTask& task : batch.tasks) {
            try {
                if (options_.stop.stop_requested()) return;
                readOne(batch.folder.get(), task, arena);
            } catch (const std::exception&) {
                *task.slot = Slot();  // out of memory or the like: left out, the others go on
            }
        }
    }

    void readOne(DIR* folder, ReadTask& task, ByteArena& arena) {
        Slot& slot = *task.slot;
        const UniqueFd fd(folder ? ::openat(::dirfd(folder), task.name.c_str(),
                                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
                                 : ::open(task.url.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            // ELOOP: became a link since the folder was listed, and links are passed over.
            if (!folder || errno != ELOOP) slot.skipped = skipLine(task.name, notTextSuffix);
            return;
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return void(slot.skipped = skipLine(task.name, notTextSuffix));
        if (isExcluded(st)) return;
        if (st.st_size > sizeLimit) return void(slot.skipped = skipLine(task.name, tooLargeSuffix));
        ReadFile::Result read = ReadFile::bounded(fd.get(), st.st_size, sizeLimit, arena);
        if (read.outcome == ReadFile::Outcome::tooLarge)
            return void(slot.skipped = skipLine(task.name, tooLargeSuffix));
        FileFacts facts;
        if (read.outcome == ReadFile::Outcome::ok && !hasNul(read.data)) facts = measure(read.data);
        if (!facts.text) return void(slot.skipped = skipLine(task.name, notTextSuffix));
        slot.file = {std::move(task.url), std::move(read.data), facts};
        slot.kept = true;
        // Last: once its content is on record here, this file must stay kept, as later copies
        // may let go of their bytes on the strength of it.
        if (options_.dropRepeatedBytes &&
            firstPlaces_.repeatsEarlier(slot.file.facts.sha256, task.order)) {
            arena.giveBack(slot.file.data);
            slot.file.facts.bytesDropped = true;
        }
    }

    static bool droppedByName(std::string_view name) {
        if (name == ".DS_Store") return true;
        return binaryExts().contains(Text::lowercase(Text::pathExtension(name)));
    }

    bool isExcluded(const struct stat& st) const {
        const FileId id{st.st_dev, st.st_ino};
        return std::find(options_.excluded.begin(), options_.excluded.end(), id) !=
               options_.excluded.end();
    }

    static std::string skipLine(std::string_view name, std::string_view suffix) {
        return Text::validUtf8(name) + std::string(suffix);
    }

    void skip(std::string_view name, std::string_view suffix) {
        slots_.emplace_back().skipped = skipLine(name, suffix);
    }

    const Options& options_;
    std::optional<Ignore::Rules> ignoreRules_;
    std::int64_t ignored_ = 0;
    FirstPlaces firstPlaces_;
    std::deque<Slot> slots_;  // grows at the back only, so workers' slots stay put
    ByteArena arena_;         // for reads on this thread
    std::optional<WorkerPool<ReadBatch, ByteArena>> readers_;  // last: joined first
};

}  // namespace

Found find(const std::vector<fs::path>& inputs, const Options& options) {
    Collector collector(options);
    for (const fs::path& input : inputs) {
        try {
            collector.addInput(input);
        } catch (const std::exception&) {
            // Out of memory or the like: keep what was collected so far and go on.
        }
    }
    return collector.take();
}

Collected files(const std::vector<fs::path>& inputs, const Options& options) {
    Found found = find(inputs, options);
    Collected collected;
    collected.files.reserve(found.files.size());
    for (FoundFile& file : found.files)
        collected.files.emplace_back(std::move(file.url), std::move(file.data), file.facts);
    collected.skipped = std::move(found.skipped);
    collected.ignored = found.ignored;
    return collected;
}

bool isText(std::string_view bytes) {
    return !hasNul(bytes) && Text::isValidUtf8(bytes);
}

const std::unordered_set<std::string>& skipDirs() {
    static const std::unordered_set<std::string> names{
        ".git",    "node_modules", ".build",      "build",         "dist",        ".next",
        "out",     "target",       "vendor",      "Pods",          "DerivedData", ".venv",
        "venv",    "env",          "__pycache__", ".idea",         ".vscode",     ".cache",
        ".gradle", ".terraform",   "coverage",    ".pytest_cache", ".mypy_cache"};
    return names;
}

const std::unordered_set<std::string>& binaryExts() {
    static const std::unordered_set<std::string> extensions{
        "png",    "jpg",     "jpeg", "gif",   "webp",   "bmp",  "tiff", "ico",   "icns",
        "svg",    "pdf",     "doc",  "docx",  "xls",    "xlsx", "ppt",  "pptx",  "key",
        "pages",  "numbers", "zip",  "gz",    "tar",    "rar",  "7z",   "dmg",   "pkg",
        "exe",    "dll",     "so",   "dylib", "a",      "o",    "obj",  "class", "jar",
        "war",    "mp3",     "mp4",  "mov",   "avi",    "mkv",  "wav",  "flac",  "aac",
        "ogg",    "ttf",     "otf",  "woff",  "woff2",  "eot",  "bin",  "dat",   "db",
        "sqlite", "sqlite3", "psd",  "ai",    "sketch", "fig",  "car",  "nib",   "xcuserstate",
        "lock",   "node",    "wasm"};
    return extensions;
}

}  // namespace Collect

}  // namespace tessaly
