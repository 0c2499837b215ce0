#include "work_tree.h"

#include <git2.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace tessaly {

namespace Ignore {
namespace {

// libgit2 for the whole process, started on first use.
class GitLibrary {
  public:
    GitLibrary() {
        git_libgit2_init();
        // Only ignore files are read here and nothing a repository's settings name is ever
        // run, so a repository of another user is read like one's own.
        git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    }
    ~GitLibrary() { git_libgit2_shutdown(); }
    GitLibrary(const GitLibrary&) = delete;
    GitLibrary& operator=(const GitLibrary&) = delete;
};

struct RepositoryFree {
    void operator()(git_repository* repository) const noexcept { git_repository_free(repository); }
};
using Repository = std::unique_ptr<git_repository, RepositoryFree>;

struct ConfigFree {
    void operator()(git_config* config) const noexcept { git_config_free(config); }
};
using Config = std::unique_ptr<git_config, ConfigFree>;

class Buffer {
  public:
    Buffer() = default;
    ~Buffer() { git_buf_dispose(&buf_); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    git_buf* get() { return &buf_; }
    std::string str() const { return std::string(buf_.ptr ? buf_.ptr : "", buf_.size); }

  private:
    git_buf buf_ = GIT_BUF_INIT;
};

std::string_view withoutTrailingSlash(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    return folder;
}

bool hasDotGit(std::string_view folder) {
    const std::string dotGit = std::string(folder) + (folder.ends_with('/') ? ".git" : "/.git");
    struct stat st {};
    return ::stat(dotGit.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode));
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

// git reads core.excludesFile with "~/" expanded, and a relative one from the tree's top.
std::string excludesFile(git_repository* repository, std::string_view top) {
    git_config* raw = nullptr;
    if (git_repository_config_snapshot(&raw, repository) != 0) return defaultExcludesFile();
    const Config config(raw);
    Buffer path;
    if (git_config_get_path(path.get(), config.get(), "core.excludesFile") != 0)
        return defaultExcludesFile();
    std::string file = path.str();
    if (!file.empty() && file.front() != '/')
        file = std::string(top) + (top.ends_with('/') ? "" : "/") + file;
    return file;
}

std::optional<WorkTree> openWorkTree(std::string_view top) {
    git_repository* raw = nullptr;
    if (git_repository_open_ext(&raw, std::string(top).c_str(), GIT_REPOSITORY_OPEN_NO_SEARCH,
                                nullptr) != 0)
        return std::nullopt;
    const Repository repository(raw);
    // The common folder, which a linked work tree's own .git folder points to.
    return WorkTree{std::string(top),
                    std::string(git_repository_commondir(repository.get())) + "info/exclude",
                    excludesFile(repository.get(), top)};
}

}  // namespace

std::optional<WorkTree> findWorkTree(std::string_view folder) {
    static const GitLibrary library;
    for (std::string_view dir = withoutTrailingSlash(folder);; dir = parentFolder(dir)) {
        if (hasDotGit(dir))
            if (std::optional<WorkTree> tree = openWorkTree(dir)) return tree;
        if (dir == "/" || dir.empty()) return std::nullopt;
    }
}

std::string_view parentFolder(std::string_view folder) {
    folder = withoutTrailingSlash(folder);
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string_view::npos) return {};
    return folder.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace Ignore

}  // namespace tessaly
