#include "command_inputs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <climits>

#include "tessaly/pack.h"
#include "tessaly/system/dir_stream.h"

namespace tessaly::Cli {

namespace fs = std::filesystem;

std::vector<Input> commandInputs(const std::vector<std::string>& typed) {
    std::error_code unknown;
    const fs::path cwd = fs::current_path(unknown);  // empty: paths stay relative
    std::vector<Input> inputs;
    for (const std::string& p : typed.empty() ? std::vector<std::string>{"."} : typed) {
        fs::path path = Pack::standardized(cwd / p);  // an absolute p replaces cwd
        // The system opens no path this long; one relative to the working folder it does.
        if (path.native().size() >= PATH_MAX) path = Pack::standardized(p);
        inputs.push_back({p, std::move(path)});
    }
    return inputs;
}

std::optional<std::string> workingFolderName() {
    struct stat here {};
    if (::stat(".", &here) != 0) return std::nullopt;
    const System::DirStream parent(::opendir(".."));
    if (!parent) return std::nullopt;
    while (const dirent* entry = ::readdir(parent.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::fstatat(::dirfd(parent.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            st.st_dev == here.st_dev && st.st_ino == here.st_ino)
            return std::string(name);
    }
    return std::nullopt;
}

}  // namespace tessaly::Cli
