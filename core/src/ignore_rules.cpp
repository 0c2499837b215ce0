#include "ignore_rules.h"

#include <algorithm>

#include "small_file.h"
#include "work_tree.h"

namespace tessaly {

namespace Ignore {
namespace {

// Ignore files are a few kilobytes; a larger one is read no further than this.
constexpr std::size_t rulesFileLimit = 16 << 20;

// A .gitignore inside the tree is not followed when it is a link, as git does.
std::optional<std::string> readRulesFile(int folderFd, const char* path, bool followLink) {
    return SmallFile::read(folderFd, path, rulesFileLimit, followLink);
}

// `folder` is `base` (ending in "/") or lies below it.
bool isWithin(std::string_view folder, std::string_view base) {
    folder = withoutTrailingSlash(folder);
    const std::size_t stem = base.size() - 1;
    return folder.size() >= stem && folder.compare(0, stem, base.substr(0, stem)) == 0 &&
           (folder.size() == stem || folder[stem] == '/');
}

}  // namespace

Rules::Rules(std::string_view input, bool gitignore, const std::vector<std::string>& excludes,
             std::string_view excludesBase) {
    if (!excludes.empty()) {
        excludes_.emplace(excludesBase.empty() ? input : excludesBase);
        for (const std::string& line : excludes)
            excludes_->addLine(line);
    }
    if (!gitignore) return;
    const std::optional<WorkTree> tree = findWorkTree(input);
    if (!tree) return;  // outside a work tree git reads no .gitignore
    inWorkTree_ = true;
    // A parent's .gitignore applies to a folder packed on its own.
    std::vector<std::string_view> above;
    for (std::string_view folder = withoutTrailingSlash(input); folder.size() > tree->top.size();)
        above.push_back(folder = parentFolder(folder));
    std::for_each(above.rbegin(), above.rend(), [this](std::string_view folder) {
        addGitignore(AT_FDCWD, folder, (std::string(folder) + "/.gitignore").c_str());
    });
    for (const std::string* file : {&tree->infoExclude, &tree->excludesFile}) {
        PatternList list(tree->top);
        if (!file->empty())
            if (std::optional<std::string> text = readRulesFile(AT_FDCWD, file->c_str(), true))
                list.addLines(*text);
        if (!list.empty()) repositoryFiles_.push_back(std::move(list));
    }
}

void Rules::enterFolder(std::string_view folder, int folderFd) {
    leaveFoldersOutside(folder);
    if (inWorkTree_) addGitignore(folderFd, folder, ".gitignore");
}

bool Rules::isIgnored(std::string_view folder, std::string_view name, bool isFolder) {
    leaveFoldersOutside(folder);
    path_.assign(withoutTrailingSlash(folder));
    if (path_.back() != '/') path_ += '/';
    path_ += name;
    if (excludes_)
        if (std::optional<bool> ignored = excludes_->decide(path_, name, isFolder)) return *ignored;
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level)
        if (std::optional<bool> ignored = level->decide(path_, name, isFolder)) return *ignored;
    for (const PatternList& list : repositoryFiles_)
        if (std::optional<bool> ignored = list.decide(path_, name, isFolder)) return *ignored;
    return false;
}

void Rules::addGitignore(int folderFd, std::string_view folder, const char* path) {
    std::optional<std::string> text = readRulesFile(folderFd, path, false);
    if (!text) return;
    PatternList list(folder);
    list.addLines(*text);
    if (!list.empty()) levels_.push_back(std::move(list));
}

// The walk has come back up from folders whose .gitignore no longer applies.
void Rules::leaveFoldersOutside(std::string_view folder) {
    while (!levels_.empty() && !isWithin(folder, levels_.back().base()))
        levels_.pop_back();
}

}  // namespace Ignore

}  // namespace tessaly
