#include "tessaly/scan_bundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

#include "bundle_paths.h"
#include "tessaly/system/dir_stream.h"
#include "tessaly/system/sha256.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"

namespace tessaly {

namespace Update {
namespace {

namespace fs = std::filesystem;

// Each level holds a descriptor open; real bundles are a few levels deep.
constexpr int maxDepth = 128;

using System::DirStream;
using System::throwSystem;
using System::UniqueFd;

const char* unsupportedKind(mode_t mode) {
    if (S_ISFIFO(mode)) return "a fifo";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "of an unknown kind";
}

class Scanner {
  public:
    explicit Scanner(const fs::path& bundle) : bundle_(bundle) {}

    std::vector<SignedEntry> scan() {
        UniqueFd root(::open(bundle_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!root) {
            if (errno == ELOOP || errno == ENOTDIR)
                throw UnsignableBundle(bundle_.string() + ": not a folder");
            throwSystem("open", bundle_.string(), errno);
        }
        scanFolder(std::move(root), "", 0);
        std::sort(entries_.begin(), entries_.end(),
                  [](const SignedEntry& a, const SignedEntry& b) { return a.path < b.path; });
        return std::move(entries_);
    }

  private:
    void scanFolder(UniqueFd fd, const std::string& rel, int depth) {
        if (depth > maxDepth)
            throw UnsignableBundle(shown(rel) + ": folders nested more than " +
                                   std::to_string(maxDepth) + " deep");
        DirStream dir(::fdopendir(fd.get()));
        if (!dir) throwSystem("opendir", shown(rel), errno);
        fd.release();
        for (const std::string& name : namesIn(dir.get(), rel)) {
            if (rel.empty() && name == signatureFileName) continue;
            addEntry(::dirfd(dir.get()), name, System::joinPath(rel, name), depth);
        }
    }

    std::vector<std::string> namesIn(DIR* dir, const std::string& rel) const {
        std::vector<std::string> names;
        while (true) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (!entry) {
                if (errno != 0) throwSystem("readdir", shown(rel), errno);
                return names;
            }
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
        }
    }

    void addEntry(int folder, const std::string& name, const std::string& rel, int depth) {
        struct stat st {};
        if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            throwSystem("lstat", shown(rel), errno);
        if (S_ISDIR(st.st_mode)) {
            SignedEntry folderEntry;
            folderEntry.path = rel;
            folderEntry.kind = EntryKind::dir;
            entries_.push_back(std::move(folderEntry));
            UniqueFd sub(
                ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!sub) throwSystem("open", shown(rel), errno);
            scanFolder(std::move(sub), rel, depth + 1);
        } else if (S_ISREG(st.st_mode)) {
            entries_.push_back(fileEntry(folder, name, rel));
        } else if (S_ISLNK(st.st_mode)) {
            entries_.push_back(linkEntry(folder, name, rel, st.st_size));
        } else {
            throw UnsignableBundle(shown(rel) + " is " + unsupportedKind(st.st_mode) +
                                   ": only folders, files and links can be signed");
        }
    }

    SignedEntry fileEntry(int folder, const std::string& name, const std::string& rel) const {
        // O_NONBLOCK: should a fifo have taken the file's place, opening it must not wait.
        UniqueFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            if (errno == ELOOP) throw UnsignableBundle(shown(rel) + " changed while listed");
            throwSystem("open", shown(rel), errno);
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) throwSystem("fstat", shown(rel), errno);
        if (!S_ISREG(st.st_mode)) throw UnsignableBundle(shown(rel) + " changed while listed");
        SignedEntry entry;
        entry.path = rel;
        entry.kind = EntryKind::file;
        entry.executable = (st.st_mode & S_IXUSR) != 0;
        entry.sha256 = System::sha256OfFile(fd.get(), shown(rel));
        return entry;
    }

    SignedEntry linkEntry(int folder, const std::string& name, const std::string& rel,
                          off_t sizeHint) const {
        std::string target(static_cast<std::size_t>(std::max<off_t>(sizeHint, 64)) + 1, '\0');
        while (true) {
            const ssize_t n = ::readlinkat(folder, name.c_str(), target.data(), target.size());
            if (n < 0) throwSystem("readlink", shown(rel), errno);
            if (static_cast<std::size_t>(n) < target.size()) {
                target.resize(static_cast<std::size_t>(n));
                break;
            }
            target.resize(target.size() * 2);
        }
        if (!BundlePaths::linkStaysInside(rel, target))
            throw UnsignableBundle("link " + shown(rel) + " -> " + target +
                                   " could lead out of the bundle");
        SignedEntry entry;
        entry.path = rel;
        entry.kind = EntryKind::link;
        entry.linkTarget = std::move(target);
        return entry;
    }

    std::string shown(const std::string& rel) const {
        return rel.empty() ? bundle_.string() : (bundle_ / rel).string();
    }

    fs::path bundle_;
    std::vector<SignedEntry> entries_;
};

}  // namespace

SignedList scanBundle(const fs::path& bundle, std::string team, std::string version) {
    return {
        .team = std::move(team), .version = std::move(version), .entries = Scanner(bundle).scan()};
}

}  // namespace Update

}  // namespace tessaly
