#pragma once
// The git work tree a folder lies in, and where the ignore files that live outside it are.

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

namespace Ignore {

struct WorkTree {
    std::string top;           // the folder holding .git, spelled as the folder asked about
    std::string infoExclude;   // the repository's info/exclude
    std::string excludesFile;  // core.excludesFile, or git's default; empty when there is none
};

// The nearest folder at or above `folder` (absolute) whose .git is a repository (a folder, or
// a "gitdir:" file naming one), on the same file system, as git looks for it. Found by name,
// links left alone, so its spelling is a prefix of the folder's.
std::optional<WorkTree> findWorkTree(std::string_view folder);

// `folder` without its last component, by name: "/a/b" gives "/a", "/a" gives "/".
std::string_view parentFolder(std::string_view folder);

// "/a/b/" gives "/a/b"; "/" stays.
std::string_view withoutTrailingSlash(std::string_view folder);

}  // namespace Ignore

}  // namespace tessaly
