#pragma once
// What a folder walk leaves out by ignore rules: git's, inside a git work tree, and
// patterns given by hand. The walk tells it which folder it enters and asks about entries.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ignore_list.h"

namespace tessaly {

namespace Ignore {

class Rules {
  public:
    // For the walk of `input` (an absolute folder). `gitignore`: the .gitignore files from
    // the top of its work tree down, info/exclude and the user's excludes file. `excludes`:
    // lines as in a .gitignore in `excludesBase` (empty: the input), before all others.
    Rules(std::string_view input, bool gitignore, const std::vector<std::string>& excludes,
          std::string_view excludesBase);

    // The walk enters `folder`, open as `folderFd`; its parent was entered before it (or it
    // is the input).
    void enterFolder(std::string_view folder, int folderFd);

    // Whether the entry `name` of `folder`, the folder entered last or one above it, is left out.
    bool isIgnored(std::string_view folder, std::string_view name, bool isFolder);

  private:
    void addGitignore(int folderFd, std::string_view folder, const char* path);
    void leaveFoldersOutside(std::string_view folder);

    std::optional<PatternList> excludes_;
    bool inWorkTree_ = false;
    // The .gitignore files with patterns, from the top of the work tree down to the folder
    // walked now: a deeper one decides first.
    std::vector<PatternList> levels_;
    std::vector<PatternList> repositoryFiles_;  // info/exclude, then the user's excludes file
    std::string path_;                          // the entry asked about, reused
};

}  // namespace Ignore

}  // namespace tessaly
