#include "tessaly/collect.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "byte_arena.h"
#include "first_places.h"
#include "ignore_rules.h"
#include "measure.h"
#include "read_file.h"
#include "tessaly/system/descriptors.h"
#include "tessaly/system/dir_stream.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"
#include "text.h"
#include "worker_pool.h"

namespace tessaly {

namespace Collect {
namespace {

namespace fs = std::filesystem;
using System::UniqueFd;

struct DirEntry {
    std::string name;
    unsigned char type;  // DT_* of the directory entry; DT_UNKNOWN when it did not say
};

using Folder = std::shared_ptr<DIR>;

bool isHidden(std::string_view name) {
    return !name.empty() && name.front() == '.';
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

// The process, not the file, ran out of something: the whole collection fails.
[[noreturn]] void exhausted(std::string_view operation, std::string_view object, int error) {
    if (error == ENOMEM) throw std::bad_alloc();
    System::throwSystem(operation, object, error);
}

Folder openFolder(UniqueFd fd) {
    Folder dir(::fdopendir(fd.get()), System::DirClose());
    if (dir) fd.release();
    return dir;
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
    std::string path;
    Slot* slot = nullptr;
    std::size_t order = 0;  // the slot's place in the walk
};

// Files of one folder, or one file given directly, handed over together: the queue is
// taken once a batch rather than once a file.
struct ReadBatch {
    Folder folder;  // kept open while its files wait; null: open `path` as given
    std::vector<ReadTask> tasks;
};

// Slots [begin, end) of the walk, the outcome of one folder or input.
struct Range {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// What a stretch of the walk came to, in counts and skipped lines.
struct Tally {
    std::int64_t kept = 0;
    std::int64_t ignored = 0;
    std::vector<std::string> skipped;
};

// What became of one thing met, at its place in the walk's order: a kept file, a skipped
// line, an input that could not be opened, a walk met again, or nothing (dropped silently).
struct Slot {
    bool kept = false;
    bool ignored = false;  // left out by the ignore rules: counted, with no skipped line
    CollectedFile file;
    std::string skipped;
    InputProblem problem;
    std::optional<Range> replay;
    Tally replayed;  // what the replay's range came to, once resolved

    // Adds this slot's outcome, a replay's whole, to `tally`.
    void addTo(Tally& tally) const {
        if (replay) {
            tally.kept += replayed.kept;
            tally.ignored += replayed.ignored;
            tally.skipped.insert(tally.skipped.end(), replayed.skipped.begin(),
                                 replayed.skipped.end());
        } else if (ignored) {
            ++tally.ignored;
        } else if (kept) {
            ++tally.kept;
        } else if (!skipped.empty()) {
            tally.skipped.push_back(skipped);
        }
    }
};

// One folder being walked: its entries, and where the walk stands in them.
struct Frame {
    std::string rel;   // below the input; empty for the input itself
    std::string path;  // the input's path joined with `rel`
    std::vector<DirEntry> entries;
    std::size_t next = 0;
    std::size_t firstSlot = 0;
    Folder dir;  // open only while this is the folder walked: the walk's descriptors stay few
    ReadBatch batch;
};

class Collector {
  public:
    explicit Collector(const Options& options) : options_(options) {
        const unsigned threads = readerThreads(options);
        if (threads <= 1) return;
        try {
            // A few batches per thread keep each busy while the walk lists folders.
            readers_.emplace(threads, std::size_t{batchesPerReader} * threads,
                             [this](ReadBatch& batch, ByteArena& arena) { read(batch, arena); });
        } catch (const std::system_error&) {
            readers_.reset();  // no threads to be had: read on this one
        }
    }

    // The workers must not go on into a collection that failed.
    ~Collector() { failed_ = true; }

    void addInput(const fs::path& input) {
        struct stat st {};
        if (::stat(input.c_str(), &st) != 0) {
            if (System::isExhaustion(errno)) exhausted("stat", input.native(), errno);
            return problem(input.native(), errno);
        }
        if (replayInput(input.native(), st)) return;
        if (!S_ISDIR(st.st_mode)) {
            const std::size_t slot = slots_.size();
            classifyInput(input, st);
            if (options_.foldRepeatedInputs)
                inputs_[{st.st_dev, st.st_ino}] = {slot, slots_.size()};
            return;
        }
        UniqueFd root(::open(input.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!root) {
            if (System::isExhaustion(errno)) exhausted("open", input.native(), errno);
            const int error = errno;
            skip(Text::lastComponent(input.native()), notReadableSuffix);
            return problem(input.native(), error);
        }
        const std::size_t first = slots_.size();
        startIgnoreRules(input.native());
        walk(std::move(root), input.native());
        if (options_.foldRepeatedInputs) inputs_[{st.st_dev, st.st_ino}] = {first, slots_.size()};
    }

    // Waits for the reads still in flight, then lists the outcomes in the walk's order.
    Collected take() {
        if (readers_) readers_->finish();
        if (failure_) std::rethrow_exception(failure_);
        Collected collected;
        Tally all;
        for (Slot& slot : slots_) {
            if (slot.replay) resolveReplay(slot);
            slot.addTo(all);  // skipped lines copied: a later replay may repeat them
            if (slot.kept) collected.files.push_back(std::move(slot.file));
            if (slot.problem.error != 0) collected.problems.push_back(slot.problem);
        }
        slots_.clear();
        collected.skipped = std::move(all.skipped);
        collected.ignored = all.ignored;
        collected.repeated = all.kept - static_cast<std::int64_t>(collected.files.size());
        return collected;
    }

  private:
    static constexpr std::size_t batchSize = 32;
    static constexpr unsigned maxThreads = 64;  // more only wait on the disk and the walk
    static constexpr unsigned batchesPerReader = 4;
    // The walk's own: the input, the folder listed, one being opened, two while reopening.
    static constexpr std::size_t walkDescriptors = 8;
    // Each reader's: the folders of its queued batches and the one it reads, and a file.
    static constexpr std::size_t readerDescriptors = batchesPerReader + 2;

    // As many readers as asked, but no more than the descriptors left can serve.
    static unsigned readerThreads(const Options& options) {
        unsigned threads =
            options.threads == 0 ? std::thread::hardware_concurrency() : options.threads;
        threads = std::min(threads, maxThreads);
        const std::size_t free = System::freeDescriptors();
        const std::size_t affordable =
            free > walkDescriptors ? (free - walkDescriptors) / readerDescriptors : 0;
        return static_cast<unsigned>(std::min<std::size_t>(threads, affordable));
    }

    bool stopping() const { return failed_ || options_.stop.stop_requested(); }

    // Depth first, each folder's entries in order, with a stack on the heap.
    void walk(UniqueFd root, const std::string& input) {
        const UniqueFd anchor(::dup(root.get()));  // to open folders again by their path
        if (!anchor) exhausted("dup", input, errno);
        Folder dir = openFolder(std::move(root));
        if (!dir) exhausted("opendir", input, errno);
        std::vector<Frame> stack;
        push(stack, "", input, std::move(dir));
        while (!stack.empty() && !stopping()) {
            Frame& top = stack.back();
            if (top.next == top.entries.size()) {
                hand(top.batch);
                if (options_.foldRepeatedInputs)
                    folders_[top.path] = {top.firstSlot, slots_.size()};
                stack.pop_back();
                continue;
            }
            if (!top.dir && !reopen(top, anchor.get())) {
                stack.pop_back();  // gone since it was listed: as if it had been empty
                continue;
            }
            DirEntry& entry = top.entries[top.next++];
            if (visitEntry(top, entry) == Visit::descend) descend(stack, entry.name);
        }
    }

    enum class Visit { done, descend };

    Visit visitEntry(Frame& frame, DirEntry& entry) {
        // The entry's own type answers without a stat; only file systems that leave it
        // out cost one.
        if (entry.type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(::dirfd(frame.dir.get()), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) ==
                0)
                entry.type = typeFromMode(st.st_mode);
        }
        if (entry.type == DT_LNK) return Visit::done;  // links are never collected nor followed
        if (ignoredByRules(frame.path, entry)) return Visit::done;
        if (entry.type == DT_DIR)
            return skipDirs().contains(entry.name) ? Visit::done : Visit::descend;
        classifyEntry(entry, frame);
        if (frame.batch.tasks.size() >= batchSize) hand(frame.batch);
        return Visit::done;
    }

    void push(std::vector<Frame>& stack, std::string rel, std::string path, Folder dir) {
        Frame frame;
        frame.entries = visibleEntries(dir.get());
        frame.rel = std::move(rel);
        frame.path = std::move(path);
        frame.firstSlot = slots_.size();
        if (ignoreRules_) ignoreRules_->enterFolder(frame.path, ::dirfd(dir.get()));
        frame.batch.folder = dir;
        frame.dir = std::move(dir);
        stack.push_back(std::move(frame));
    }

    void descend(std::vector<Frame>& stack, const std::string& name) {
        Frame& parent = stack.back();
        hand(parent.batch);  // the workers go on while the walk goes down
        std::string path = System::joinPath(parent.path, name);
        if (replayFolder(path)) return;
        // O_NOFOLLOW: a folder swapped for a link since it was listed is not entered.
        UniqueFd fd(::openat(::dirfd(parent.dir.get()), name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) {
            if (System::isExhaustion(errno)) exhausted("open", path, errno);
            return;  // unreadable or gone: passed over, as the walk goes on
        }
        Folder dir = openFolder(std::move(fd));
        if (!dir) exhausted("opendir", path, errno);
        std::string rel = parent.rel.empty() ? name : System::joinPath(parent.rel, name);
        parent.dir.reset();  // opened again, by its path, when the walk comes back to it
        parent.batch.folder.reset();
        push(stack, std::move(rel), std::move(path), std::move(dir));
    }

    // Back in a folder after walking one below it: opened again below the input, following
    // no link on the way, so a folder swapped for a link meanwhile is not entered.
    bool reopen(Frame& frame, int anchor) {
        UniqueFd fd = System::openBeneath(anchor, frame.rel, O_RDONLY | O_DIRECTORY);
        if (!fd) {
            if (System::isExhaustion(errno)) exhausted("open", frame.path, errno);
            return false;
        }
        frame.dir = openFolder(std::move(fd));
        if (!frame.dir) exhausted("opendir", frame.path, errno);
        frame.batch.folder = frame.dir;
        return true;
    }

    // An input met before: its earlier outcome counts again, without a walk.
    bool replayInput(const std::string& path, const struct stat& st) {
        if (!options_.foldRepeatedInputs) return false;
        if (const auto it = inputs_.find({st.st_dev, st.st_ino}); it != inputs_.end()) {
            slots_.emplace_back().replay = it->second;
            return true;
        }
        return S_ISDIR(st.st_mode) && replayFolder(path);
    }

    bool replayFolder(const std::string& path) {
        if (!options_.foldRepeatedInputs) return false;
        const auto it = folders_.find(path);
        if (it == folders_.end()) return false;
        slots_.emplace_back().replay = it->second;
        return true;
    }

    // What the replay's range came to; every slot in it is settled.
    void resolveReplay(Slot& slot) {
        for (std::size_t i = slot.replay->begin; i < slot.replay->end; ++i)
            slots_[i].addTo(slot.replayed);
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
        slots_.emplace_back().ignored = true;
        return true;
    }

    // A file met inside a folder: opened relative to it, so long paths never matter.
    void classifyEntry(DirEntry& entry, Frame& frame) {
        if (droppedByName(entry.name)) return;
        // Pipes, sockets and devices are never opened: reading them may block or never end.
        if (entry.type != DT_REG && entry.type != DT_UNKNOWN)
            return skip(entry.name, notTextSuffix);
        std::string path = System::joinPath(frame.path, entry.name);
        frame.batch.tasks.push_back(
            {std::move(entry.name), std::move(path), nullptr, slots_.size()});
        frame.batch.tasks.back().slot = &slots_.emplace_back();
    }

    // A file given directly: links are followed, as the user named it.
    void classifyInput(const fs::path& input, const struct stat& st) {
        std::string name(Text::lastComponent(input.native()));
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
        if (failure_) std::rethrow_exception(failure_);
    }

    // Runs on a worker: touches only the batch's own slots, which the deque never moves. The
    // first failure is kept for take() and stops the rest.
    void read(ReadBatch& batch, ByteArena& arena) noexcept {
        for (ReadTask& task : batch.tasks) {
            if (stopping()) return;
            try {
                readOne(batch.folder.get(), task, arena);
            } catch (...) {
                fail(std::current_exception());
                return;
            }
        }
    }

    void fail(std::exception_ptr error) noexcept {
        const std::lock_guard lock(failureMutex_);
        if (!failure_) failure_ = std::move(error);
        failed_ = true;
    }

    void readOne(DIR* folder, ReadTask& task, ByteArena& arena) {
        Slot& slot = *task.slot;
        const UniqueFd fd(folder ? ::openat(::dirfd(folder), task.name.c_str(),
                                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
                                 : ::open(task.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            if (System::isExhaustion(errno)) exhausted("open", task.path, errno);
            if (!folder) slot.problem = {task.path, errno};
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
        slot.file = {std::move(task.path), std::move(read.data), facts};
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

    void problem(std::string path, int error) {
        slots_.emplace_back().problem = {std::move(path), error};
    }

    const Options& options_;
    std::optional<Ignore::Rules> ignoreRules_;
    FirstPlaces firstPlaces_;
    std::deque<Slot> slots_;  // grows at the back only, so workers' slots stay put
    ByteArena arena_;         // for reads on this thread
    std::map<std::pair<dev_t, ino_t>, Range> inputs_;  // inputs already met
    std::unordered_map<std::string, Range> folders_;   // folders already walked, by path
    std::atomic<bool> failed_ = false;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
    std::optional<WorkerPool<ReadBatch, ByteArena>> readers_;  // last: joined first
};

}  // namespace

Collected files(const std::vector<fs::path>& inputs, const Options& options) {
    Collector collector(options);
    for (const fs::path& input : inputs) {
        if (options.stop.stop_requested()) break;
        collector.addInput(input);
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

}  // namespace tessaly
