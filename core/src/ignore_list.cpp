#include "ignore_list.h"

#include "glob_match.h"

namespace tessaly {

namespace Ignore {
namespace {

bool hasGlobCharacter(std::string_view s) {
    return s.find_first_of("*?[\\") != std::string_view::npos;
}

// Unescaped trailing spaces go; "\ " keeps the space before it. A line that ends in a lone
// backslash is kept whole.
std::string_view trimTrailingSpaces(std::string_view line) {
    std::size_t firstTrailingSpace = std::string_view::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            if (firstTrailingSpace == std::string_view::npos) firstTrailingSpace = i;
            continue;
        }
        if (line[i] == '\\' && ++i == line.size()) return line;
        firstTrailingSpace = std::string_view::npos;
    }
    return line.substr(0, firstTrailingSpace);
}

}  // namespace

PatternList::PatternList(std::string_view folder) : base_(folder) {
    if (base_.empty() || base_.back() != '/') base_ += '/';
}

void PatternList::addLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (!line.starts_with('#')) addLine(line);
    }
}

void PatternList::addLine(std::string_view line) {
    line = trimTrailingSpaces(line.substr(0, line.find('\0')));  // read as a C string is
    Pattern pattern;
    if (line.starts_with('!')) {
        pattern.negated = true;
        line.remove_prefix(1);
    }
    if (line.ends_with('/')) {
        pattern.folderOnly = true;
        line.remove_suffix(1);
    }
    pattern.nameOnly = line.find('/') == std::string_view::npos;
    if (line.starts_with('/')) line.remove_prefix(1);
    if (line.empty()) return;  // matches nothing
    pattern.text = line;
    pattern.literal = !hasGlobCharacter(line);
    pattern.suffix = pattern.nameOnly && line.front() == '*' && !hasGlobCharacter(line.substr(1));
    if (!pattern.nameOnly) pattern.head = std::min(line.find_first_of("*?[\\"), line.size());
    if (!pattern.literal && !pattern.suffix)
        pattern.glob.emplace(line.substr(pattern.head), !pattern.nameOnly);
    patterns_.push_back(std::move(pattern));
}

std::optional<bool> PatternList::decide(std::string_view path, std::string_view name,
                                        bool isFolder) const {
    for (auto it = patterns_.rbegin(); it != patterns_.rend(); ++it) {
        if (it->folderOnly && !isFolder) continue;
        if (matches(*it, path, name)) return !it->negated;
    }
    return std::nullopt;
}

bool PatternList::matches(const Pattern& pattern, std::string_view path,
                          std::string_view name) const {
    if (pattern.nameOnly) {
        if (pattern.literal) return name == pattern.text;
        if (pattern.suffix) return name.ends_with(std::string_view(pattern.text).substr(1));
        return pattern.glob->matches(name);
    }
    if (!path.starts_with(base_)) return false;
    path.remove_prefix(base_.size());
    // As git does it: the head is compared as it is, and the rest matched as a pattern of its
    // own, so that "a**/b" starts with "**/" there and reaches across folders.
    const std::string_view head = std::string_view(pattern.text).substr(0, pattern.head);
    if (!path.starts_with(head)) return false;
    path.remove_prefix(head.size());
    return pattern.literal ? path.empty() : pattern.glob->matches(path);
}

}  // namespace Ignore

}  // namespace tessaly
