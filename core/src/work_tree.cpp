#include "work_tree.h"

#include <sys/stat.h>

#include <cstdlib>

#include "git_settings.h"
#include "small_file.h"

namespace tessaly {

namespace Ignore {
namespace {

std::string joinedPath(std::string_view folder, std::string_view name) {
    std::string path(withoutTrailingSlash(folder));
    if (path.empty() || path.back() != '/') path += '/';
    return path + std::string(name);
}

std::optional<struct stat> statOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return st;
}

bool isFolder(const std::string& path) {
    const std::optional<struct stat> st = statOf(path);
    return st && S_ISDIR(st->st_mode);
}

// The first line of a small regular file, without its line end.
std::optional<std::string> firstLine(const std::string& path) {
    std::optional<std::string> text = SmallFile::read(AT_FDCWD, path.c_str(), 4096);
    if (text) text->resize(std::min(text->find_first_of("\r\n"), text->size()));
    return text;
}

std::string resolvedAgainst(std::string_view folder, std::string path) {
    return path.starts_with('/') ? path : joinedPath(folder, path);
}

// The repository folder `dotGit` stands for: itself, or the one its "gitdir:" line names.
std::optional<std::string> gitDirectory(const std::string& dotGit, std::string_view top) {
    if (isFolder(dotGit)) return dotGit;
    const std::optional<std::string> line = firstLine(dotGit);
    if (!line || !line->starts_with("gitdir: ")) return std::nullopt;
    return resolvedAgainst(top, line->substr(8));
}

// A linked work tree's folder names the repository's shared one in "commondir".
std::string commonDirectory(const std::string& gitDir) {
    const std::optional<std::string> common = firstLine(joinedPath(gitDir, "commondir"));
    return common ? resolvedAgainst(gitDir, *common) : gitDir;
}

// What git asks of a repository folder before it takes it for one.
bool isRepository(const std::string& gitDir, const std::string& commonDir) {
    return statOf(joinedPath(gitDir, "HEAD")).has_value() &&
           isFolder(joinedPath(commonDir, "objects")) && isFolder(joinedPath(commonDir, "refs"));
}

std::string environmentPath(const char* variable, std::string_view below) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') return {};
    return std::string(value) + std::string(below);
}

std::string defaultExcludesFile() {
    std::string file = environmentPath("XDG_CONFIG_HOME", "/git/ignore");
    return file.empty() ? environmentPath("HOME", "/.config/git/ignore") : file;
}

}  // namespace

std::optional<WorkTree> findWorkTree(std::string_view folder) {
    const std::optional<struct stat> start = statOf(std::string(folder));
    if (!start) return std::nullopt;
    for (std::string_view dir = withoutTrailingSlash(folder);; dir = parentFolder(dir)) {
        const std::optional<struct stat> here = statOf(std::string(dir));
        if (!here || here->st_dev != start->st_dev) return std::nullopt;  // as git, one file system
        if (const std::optional<std::string> gitDir = gitDirectory(joinedPath(dir, ".git"), dir)) {
            const std::string commonDir = commonDirectory(*gitDir);
            if (isRepository(*gitDir, commonDir)) {
                // git reads a relative core.excludesFile from the tree's top.
                const std::optional<std::string> excludes = excludesFileSetting(*gitDir, commonDir);
                std::string excludesFile = !excludes           ? defaultExcludesFile()
                                           : excludes->empty() ? std::string()
                                                               : resolvedAgainst(dir, *excludes);
                return WorkTree{std::string(dir), joinedPath(commonDir, "info/exclude"),
                                std::move(excludesFile)};
            }
        }
        if (dir == "/" || dir.empty()) return std::nullopt;
    }
}

std::string_view parentFolder(std::string_view folder) {
    folder = withoutTrailingSlash(folder);
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string_view::npos) return {};
    return folder.substr(0, slash == 0 ? 1 : slash);
}

std::string_view withoutTrailingSlash(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    return folder;
}

}  // namespace Ignore

}  // namespace tessaly
