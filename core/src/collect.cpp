#include "tessaly/collect.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "byte_arena.h"
#include "digest.h"
#include "read_file.h"
#include "tessaly/text.h"
#include "unique_fd.h"
#include "worker_pool.h"

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

bool hasNul(std::string_view bytes) {
    const std::string_view sniff = bytes.substr(0, sniffLength);
    return std::memchr(sniff.data(), '\0', sniff.size()) != nullptr;
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

// One file opened by the walk, to be read and measured, perhaps on another thread.
struct Slot;
struct ReadJob {
    UniqueFd fd;
    std::string name;  // for the skipped line
    fs::path url;
    Slot* slotPointer = nullptr;
    std::size_t order = 0;  // the slot's place in the walk
};

// What became of one thing met, at its place in the walk's order: a kept file, a skipped
// line, or neither (dropped silently).
struct Slot {
    bool kept = false;
    CollectedFile file;
    std::string skipped;
};

// The earliest place in the walk at which each content has been read so far, shared by the
// workers. A file read later than its content's first place repeats it; one read out of
// order may find it only after the later one kept its bytes, which costs memory, never
// correctness.
class FirstPlaces {
  public:
    bool repeatsEarlier(const Digest::Sha256& digest, std::size_t order) {
        std::lock_guard lock(mutex_);
        const auto [it, inserted] = first_.try_emplace(digest, order);
        if (inserted) return false;
        if (it->second < order) return true;
        it->second = order;
        return false;
    }

  private:
    std::mutex mutex_;
    std::unordered_map<Digest::Sha256, std::size_t, Digest::Sha256Hash> first_;
};

class Collector {
  public:
    explicit Collector(const Options& options) : options_(options) {
        const unsigned threads =
            options.threads == 0 ? std::thread::hardware_concurrency() : options.threads;
        if (threads <= 1) return;
        try {
            // A few jobs per thread keep each busy while the walk blocks in the kernel.
            readers_.emplace(threads, std::size_t{16} * threads,
                             [this](ReadJob& job, ByteArena& arena) { read(job, arena); });
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
        if (fd) walk(std::move(fd), input);
    }

    // Waits for the reads still in flight, then lists the outcomes in the walk's order.
    Collected take() {
        if (readers_) readers_->finish();
        Collected collected;
        for (Slot& slot : slots_) {
            if (slot.kept)
                collected.files.push_back(std::move(slot.file));
            else if (!slot.skipped.empty())
                collected.skipped.push_back(std::move(slot.skipped));
        }
        slots_.clear();
        return collected;
    }

  private:
    void walk(UniqueFd folderFd, const fs::path& folder) {
        DirStream dir(::fdopendir(folderFd.get()));
        if (!dir) return;
        folderFd.release();
        const int dirFd = ::dirfd(dir.get());
        for (DirEntry& entry : visibleEntries(dir.get())) {
            if (options_.stop.stop_requested()) return;
            // The entry's own type answers without a stat; only file systems that leave it
            // out cost one.
            if (entry.type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(dirFd, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                    entry.type = typeFromMode(st.st_mode);
            }
            if (entry.type == DT_LNK) continue;  // links are never collected nor followed
            if (entry.type == DT_DIR) {
                enterFolder(dirFd, entry.name, folder);
                continue;
            }
            classifyEntry(dirFd, entry, folder / entry.name);
        }
    }

    void enterFolder(int dirFd, const std::string& name, const fs::path& folder) {
        if (skipDirs().contains(name)) return;
        // O_NOFOLLOW: a folder swapped for a link since it was listed is not entered.
        UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd) walk(std::move(fd), folder / name);
    }

    // A file met inside a folder: opened relative to it, so long paths never matter.
    void classifyEntry(int dirFd, const DirEntry& entry, fs::path url) {
        if (droppedByName(entry.name)) return;
        // Pipes, sockets and devices are never opened: reading them may block or never end.
        if (entry.type != DT_REG && entry.type != DT_UNKNOWN)
            return skip(entry.name, notTextSuffix);
        UniqueFd fd(
            ::openat(dirFd, entry.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            if (errno != ELOOP) skip(entry.name, notTextSuffix);  // ELOOP: became a link
            return;
        }
        schedule({std::move(fd), entry.name, std::move(url)});
    }

    // A file given directly: links are followed, as the user named it.
    void classifyInput(const fs::path& input, const struct stat& st) {
        const std::string name(Text::lastComponent(input.string()));
        if (droppedByName(name) || isExcluded(st)) return;
        if (!S_ISREG(st.st_mode)) return skip(name, notTextSuffix);
        if (st.st_size > sizeLimit) return skip(name, tooLargeSuffix);
        UniqueFd fd(::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) return skip(name, notTextSuffix);
        schedule({std::move(fd), name, input});
    }

    // Gives the file its place in the order now, and reads it on a worker when there are any.
    void schedule(ReadJob job) {
        job.order = slots_.size();
        job.slotPointer = &slots_.emplace_back();
        if (readers_) {
            if (readers_->submit(std::move(job))) return;
        }
        read(job, arena_);
    }

    // Runs on a worker: touches only the job's own slot, which the deque never moves.
    void read(ReadJob& job, ByteArena& arena) noexcept {
        Slot& slot = *job.slotPointer;
        try {
            if (options_.stop.stop_requested()) return;
            struct stat st {};
            if (::fstat(job.fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
                return slot.skipped = skipLine(job.name, notTextSuffix), void();
            if (isExcluded(st)) return;
            if (st.st_size > sizeLimit)
                return slot.skipped = skipLine(job.name, tooLargeSuffix), void();
            ReadFile::Result read = ReadFile::bounded(job.fd.get(), st.st_size, sizeLimit, arena);
            job.fd.reset();
            if (read.outcome == ReadFile::Outcome::tooLarge)
                return slot.skipped = skipLine(job.name, tooLargeSuffix), void();
            FileFacts facts;
            if (read.outcome == ReadFile::Outcome::ok && !hasNul(read.data))
                facts = measure(read.data);
            if (!facts.text) return slot.skipped = skipLine(job.name, notTextSuffix), void();
            if (options_.dropRepeatedBytes &&
                firstPlaces_.repeatsEarlier(facts.sha256, job.order)) {
                arena.giveBack(read.data);
                facts.bytesDropped = true;
            }
            slot.file = {std::move(job.url), std::move(read.data), facts};
            slot.kept = true;
        } catch (const std::exception&) {
            // Out of memory or the like: this file is left out, the others go on.
            slot = Slot();
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
    FirstPlaces firstPlaces_;
    std::deque<Slot> slots_;  // grows at the back only, so workers' slots stay put
    ByteArena arena_;         // for reads on this thread
    std::optional<WorkerPool<ReadJob, ByteArena>> readers_;  // last: joined first
};

}  // namespace

Collected files(const std::vector<fs::path>& inputs, const Options& options) {
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
