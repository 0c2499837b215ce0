#include "tessaly/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "tessaly/system/system_error.h"

namespace tessaly {

namespace fs = std::filesystem;

namespace PrivateFolder {

namespace {

fs::path cacheHome() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/')
        return cache;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/')
        throw std::system_error(ENOENT, std::generic_category(), "HOME is not set");
    return fs::path(home) / ".cache";
}

// Someone else's folder, a link, or one others may enter would let them plant files there.
void requireOwnFolder(const fs::path& folder) {
    struct stat facts {};
    if (::lstat(folder.c_str(), &facts) != 0)
        throw System::systemError("lstat", folder.native(), errno);
    if (!S_ISDIR(facts.st_mode)) throw System::systemError("lstat", folder.native(), ENOTDIR);
    if (facts.st_uid != ::geteuid() || (facts.st_mode & 077) != 0)
        throw System::systemError("not private", folder.native(), EPERM);
}

}  // namespace

fs::path path() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/') {
        std::error_code error;
        if (fs::is_directory(runtime, error)) return runtime;
    }
    const fs::path cache = cacheHome();
    std::error_code error;
    fs::create_directories(cache, error);
    if (error) throw System::systemError("mkdir", cache.native(), error.value());
    const fs::path folder = cache / "orvane-tessaly";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw System::systemError("mkdir", folder.native(), errno);
    requireOwnFolder(folder);
    return folder;
}

}  // namespace PrivateFolder

}  // namespace tessaly
