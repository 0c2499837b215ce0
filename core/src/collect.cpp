#include "tessaly/collect.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "read_file.h"
#include "tessaly/text.h"
#include "unique_fd.h"

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

class Collector {
  public:
    explicit Collector(const Options& options) : options_(options) {}

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

    Collected take() { return std::move(collected_); }

  private:
    void walk(UniqueFd folderFd, const fs::path& folder) {
        DirStream dir(::fdopendir(folderFd.get()));
        if (!dir) return;
        folderFd.release();
        const int dirFd = ::dirfd(dir.get());
        for (DirEntry& entry : visibleEntries(dir.get())) {
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
    void classifyEntry(int dirFd, const DirEntry& entry, const fs::path& url) {
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
        classifyOpen(fd.get(), entry.name, url);
    }

    // A file given directly: links are followed, as the user named it.
    void classifyInput(const fs::path& input, const struct stat& st) {
        const std::string name(Text::lastComponent(input.string()));
        if (droppedByName(name) || isExcluded(st)) return;
        if (!S_ISREG(st.st_mode)) return skip(name, notTextSuffix);
        if (st.st_size > sizeLimit) return skip(name, tooLargeSuffix);
        UniqueFd fd(::open(input.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) return skip(name, notTextSuffix);
        classifyOpen(fd.get(), name, input);
    }

    void classifyOpen(int fd, const std::string& name, const fs::path& url) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return skip(name, notTextSuffix);
        if (isExcluded(st)) return;
        if (st.st_size > sizeLimit) return skip(name, tooLargeSuffix);
        ReadFile::Result read = ReadFile::bounded(fd, st.st_size, sizeLimit);
        if (read.outcome == ReadFile::Outcome::tooLarge) return skip(name, tooLargeSuffix);
        if (read.outcome != ReadFile::Outcome::ok || !isText(read.data))
            return skip(name, notTextSuffix);
        collected_.files.push_back({url, std::move(read.data)});
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

    void skip(std::string_view name, std::string_view suffix) {
        collected_.skipped.push_back(Text::validUtf8(name) + std::string(suffix));
    }

    const Options& options_;
    Collected collected_;
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
    const std::string_view sniff = bytes.substr(0, sniffLength);
    if (std::memchr(sniff.data(), '\0', sniff.size()) != nullptr) return false;
    return Text::isValidUtf8(bytes);
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
