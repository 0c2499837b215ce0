// Unpacking an update's zip writes nothing outside its target, whatever the archive holds.
// Each run unpacks the input into a fresh target inside a scratch folder whose only other
// entry is a sentinel folder with one file; afterwards nothing may have appeared beside them,
// the sentinel must be exactly as it was (not even a hard link more to its file), a failed
// unpack must leave no target, and no link in an unpacked target may lead out of it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "property.h"
#include "tessaly/unpack_zip.h"
#include "tessaly/update_error.h"

using namespace tessaly;

namespace {

namespace fs = std::filesystem;
using Fuzz::require;

constexpr std::string_view sentinelBytes = "keep\n";

[[noreturn]] void setupFailed(const std::string& what) {
    std::fprintf(stderr, "unzip fuzzer: %s: %s\n", what.c_str(), std::strerror(errno));
    std::abort();
}

std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> out;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        out.insert(entry.path().filename().string());
    return out;
}

// Folders an archive made unreadable are opened up so that the tree can be removed.
void openUp(const fs::path& folder) {
    ::chmod(folder.c_str(), S_IRWXU);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->symlink_status(ec).type() == fs::file_type::directory) openUp(it->path());
}

void removeTree(const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    if (!ec) return;
    openUp(path);
    fs::remove_all(path, ec);
    require(!ec, "an unpacked target can be removed");
}

// The names of a path; empty ones ("//", a leading or trailing "/") name nothing.
std::vector<std::string> components(std::string_view path) {
    std::vector<std::string> out;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        if (slash != 0) out.emplace_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return out;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names)
        out += "/" + name;
    return out.empty() ? "/" : out;
}

// Where an absolute path leads when every link on the way is followed, the way the kernel
// does, as far as the names exist; names past a missing one are taken as written. A chain of
// links too long to follow leads nowhere, and counts as staying where it is.
std::vector<std::string> resolved(const std::string& path) {
    std::vector<std::string> at;
    std::deque<std::string> pending;
    for (std::string& name : components(path))
        pending.push_back(std::move(name));
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.front());
        pending.pop_front();
        if (name == ".") continue;
        if (name == "..") {
            if (!at.empty()) at.pop_back();
            continue;
        }
        at.push_back(name);
        const std::string here = joined(at);
        struct stat st {};
        if (::lstat(here.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) continue;
        if (++links > 40) return {};
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(here.c_str(), target.data(), target.size());
        require(length >= 0, "an unpacked link can be read");
        target.resize(static_cast<std::size_t>(length));
        at.pop_back();
        if (!target.empty() && target.front() == '/') at.clear();
        const std::vector<std::string> more = components(target);
        pending.insert(pending.begin(), more.begin(), more.end());
    }
    return at;
}

bool isBelow(const std::vector<std::string>& path, const std::vector<std::string>& base) {
    return path.empty() ||  // a loop of links
           (path.size() >= base.size() && std::equal(base.begin(), base.end(), path.begin()));
}

// Where the per-process scratch folder goes: TESSALY_FUZZ_SCRATCH (scripts/fuzz.sh sets it, so
// that a crash leaves nothing elsewhere), else a memory-backed folder when there is one: on a
// journalling disk every run waits for its writes and removals, several times slower.
std::string scratchParent() {
    const char* chosen = std::getenv("TESSALY_FUZZ_SCRATCH");
    if (chosen && *chosen) return chosen;
    if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

class Scratch {
  public:
    Scratch() {
        std::string pattern = scratchParent() + "/tessaly-unzip-XXXXXX";
        if (!::mkdtemp(pattern.data())) setupFailed("mkdtemp(" + pattern + ")");
        process_ = fs::canonical(pattern);
        zip_ = process_ / "input.zip";
        scratch_ = process_ / "scratch";
        sentinel_ = scratch_ / "sentinel";
        target_ = scratch_ / "target";
        fs::create_directories(sentinel_);
        const int fd = ::open((sentinel_ / "keep").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || ::write(fd, sentinelBytes.data(), sentinelBytes.size()) !=
                          static_cast<ssize_t>(sentinelBytes.size()))
            setupFailed("write " + (sentinel_ / "keep").string());
        ::close(fd);
        if (::lstat((sentinel_ / "keep").c_str(), &keep_) != 0 ||
            ::lstat(sentinel_.c_str(), &sentinelStat_) != 0)
            setupFailed("lstat " + sentinel_.string());
    }

    ~Scratch() {
        std::error_code ec;
        openUp(process_);
        fs::remove_all(process_, ec);
    }

    void run(std::string_view zipBytes) {
        writeZip(zipBytes);
        bool unpacked = true;
        try {
            Update::unpackZip(zip_, target_, {.maxBytes = 1 << 20, .maxEntries = 64});
        } catch (const UpdateFailure& failure) {
            require(failure.error() == UpdateError::unpack, "unpacking fails as an unpack");
            unpacked = false;
        }
        checkOutside(unpacked);
        if (!unpacked) return;
        checkTarget();
        removeTree(target_);
    }

  private:
    void writeZip(std::string_view bytes) const {
        const int fd = ::open(zip_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            setupFailed("write " + zip_.string());
        ::close(fd);
    }

    void checkOutside(bool unpacked) const {
        require(names(process_) == std::set<std::string>{"input.zip", "scratch"},
                "nothing appears beside the scratch folder");
        const std::set<std::string> expected = unpacked
                                                   ? std::set<std::string>{"sentinel", "target"}
                                                   : std::set<std::string>{"sentinel"};
        require(names(scratch_) == expected,
                "nothing appears beside the target, and a failed unpack leaves none");
        struct stat folder {};
        require(::lstat(sentinel_.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
                    folder.st_ino == sentinelStat_.st_ino &&
                    folder.st_mode == sentinelStat_.st_mode &&
                    folder.st_mtim.tv_sec == sentinelStat_.st_mtim.tv_sec &&
                    folder.st_mtim.tv_nsec == sentinelStat_.st_mtim.tv_nsec,
                "the sentinel folder is untouched");
        require(names(sentinel_) == std::set<std::string>{"keep"},
                "nothing appears in the sentinel folder");
        struct stat keep {};
        require(::lstat((sentinel_ / "keep").c_str(), &keep) == 0 && S_ISREG(keep.st_mode) &&
                    keep.st_ino == keep_.st_ino && keep.st_mode == keep_.st_mode &&
                    keep.st_nlink == 1 && keep.st_size == keep_.st_size &&
                    keep.st_mtim.tv_sec == keep_.st_mtim.tv_sec &&
                    keep.st_mtim.tv_nsec == keep_.st_mtim.tv_nsec,
                "the sentinel file is untouched and has no other name");
    }

    void checkTarget() const {
        struct stat st {};
        require(::lstat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                    (st.st_mode & 07777) == S_IRWXU,
                "the target is a folder for its owner only");
        const std::vector<std::string> base = components(target_.string());
        std::error_code ec;
        openUp(target_);  // so that every link can be found
        for (fs::recursive_directory_iterator it(target_, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (!it->is_symlink(ec)) continue;
            require(isBelow(resolved(it->path().string()), base),
                    "no unpacked link leads out of the target");
        }
        require(!ec, "the unpacked target can be walked");
    }

    fs::path process_, zip_, scratch_, sentinel_, target_;
    struct stat keep_ {};
    struct stat sentinelStat_ {};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    scratch.run(Fuzz::bytesOf(data, size));
    return 0;
}
