// Unpacking an update's zip into a fresh target beside a sentinel folder, two levels below a
// scratch folder, changes nothing outside the target (not even a hard link more), whatever the
// archive holds; a failure leaves no target, and a target is its owner's folder, no link out.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "property.h"
#include "tessaly/unpack_zip.h"
#include "tessaly/update_error.h"

using namespace tessaly;
using Fuzz::require;
namespace fs = std::filesystem;

namespace {

// Folders an archive made unreadable are opened up so that the tree can be walked and removed.
void openUp(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, ec);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (!entry.is_symlink(ec) && entry.is_directory(ec)) openUp(entry.path());
}

struct Scratch {
    Scratch() {
        const char* parent = std::getenv("TESSALY_FUZZ_SCRATCH");  // else in memory, not on disk
        std::string pattern = std::string(parent ? parent : "/dev/shm") + "/tessaly-unzip-XXXXXX";
        require(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
        root = fs::canonical(pattern);
        zip = root / "input.zip";
        target = root / "work" / "target";
        fs::create_directories(root / "work" / "sentinel");
        std::ofstream(root / "work" / "sentinel" / "keep") << "keep\n";
    }
    ~Scratch() {
        std::error_code ec;
        openUp(root);
        fs::remove_all(root, ec);
    }
    fs::path root, zip, target;
};

// Each entry but the target and its parent, by whatever would show a change to it: its inode,
// mode, names, size and the time of its last change.
using Fingerprint = std::tuple<ino_t, mode_t, nlink_t, off_t, time_t, long>;

std::map<fs::path, Fingerprint> outside(const Scratch& scratch) {
    std::map<fs::path, Fingerprint> out;
    for (auto it = fs::recursive_directory_iterator(scratch.root); it != fs::end(it); ++it) {
        if (it->path() == scratch.target) it.disable_recursion_pending();
        if (it->path() == scratch.target || it->path() == scratch.target.parent_path()) continue;
        struct stat st {};
        require(::lstat(it->path().c_str(), &st) == 0, "an entry outside the target stays");
        out[it->path()] = {st.st_ino,  st.st_mode,        st.st_nlink,
                           st.st_size, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    std::ofstream(scratch.zip, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
    const auto before = outside(scratch);
    bool unpacked = true;
    try {
        Update::unpackZip(scratch.zip, scratch.target, {.maxBytes = 1 << 20, .maxEntries = 64});
    } catch (const UpdateFailure& failure) {
        require(failure.error() == UpdateError::unpack, "unpacking fails as an unpack");
        unpacked = false;
    }
    require(outside(scratch) == before, "nothing outside the target appears, goes or changes");
    const fs::file_status target = fs::symlink_status(scratch.target);
    require(unpacked ? fs::is_directory(target) &&
                           (target.permissions() & fs::perms::mask) == fs::perms::owner_all
                     : !fs::exists(target),
            "a failed unpack leaves no target, any other a folder for its owner only");
    if (!unpacked) return 0;
    openUp(scratch.target);  // so that every link can be found
    // Each link, followed as the kernel does as far as names exist and as written beyond, stays
    // in the target; a loop of links (an error) leads nowhere.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(scratch.target)) {
        if (!entry.is_symlink()) continue;
        std::error_code loop;
        const fs::path to =
            fs::weakly_canonical(entry.path().parent_path() / fs::read_symlink(entry.path()), loop);
        require(loop || *to.lexically_relative(scratch.target).begin() != "..",
                "no unpacked link leads out of the target");
    }
    fs::remove_all(scratch.target);
    return 0;
}
