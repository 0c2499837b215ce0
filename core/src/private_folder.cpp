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

// Someone else's folder, a link, or one others may enter would let them plant files there,
// or listen first on a socket there. Zero when the folder is the user's own, else the reason.
int ownFolderProblem(const fs::path& folder) {
    struct stat facts {};
    if (::lstat(folder.c_str(), &facts) != 0) return errno;
    if (!S_ISDIR(facts.st_mode)) return ENOTDIR;
    if (facts.st_uid != ::geteuid() || (facts.st_mode & 077) != 0) return EPERM;
    return 0;
}

}  // namespace

fs::path path() {
    // The session's runtime folder is trusted no more than any other.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && ownFolderProblem(runtime) == 0)
        return runtime;
    const fs::path cache = cacheHome();
    std::error_code error;
    fs::create_directories(cache, error);
    if (error) throw System::systemError("mkdir", cache.native(), error.value());
    const fs::path folder = cache / "orvane-tessaly";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw System::systemError("mkdir", folder.native(), errno);
    if (const int problem = ownFolderProblem(folder))
        throw System::systemError("not private", folder.native(), problem);
    return folder;
}

}  // namespace PrivateFolder

}  // namespace tessaly
