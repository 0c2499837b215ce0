#pragma once
// The patterns of one ignore file (or of the command line), read as git reads a .gitignore.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glob_match.h"

namespace tessaly {

namespace Ignore {

class PatternList {
  public:
    // Patterns of a file in `folder` (absolute): those with a slash match paths below it.
    explicit PatternList(std::string_view folder);

    // Adds the lines of a file: comments, blank lines and a leading byte-order mark skipped.
    void addLines(std::string_view text);
    // Adds one line, e.g. "!*.md", "/build/", "doc/**/*.txt" or "\#notes ".
    void addLine(std::string_view line);

    bool empty() const { return patterns_.empty(); }
    // The folder with a trailing "/": the list applies to paths that start with it.
    const std::string& base() const { return base_; }

    // The last pattern matching `path` (absolute, below base()) decides: true when it ignores,
    // false when it re-includes with "!"; nothing when no pattern matches. `name` is the
    // path's last component.
    std::optional<bool> decide(std::string_view path, std::string_view name, bool isFolder) const;

  private:
    struct Pattern {
        std::string text;          // without "!", a trailing "/" or a leading "/"
        bool negated = false;      // "!": re-includes
        bool folderOnly = false;   // a trailing "/"
        bool nameOnly = false;     // no slash: matches the last component at any depth
        bool literal = false;      // no glob character: compared as it is
        bool suffix = false;       // "*" and a literal: compared with the name's end
        std::size_t head = 0;      // with a slash: the length before the first glob character
        std::optional<Glob> glob;  // when neither literal nor suffix: what follows the head
    };

    bool matches(const Pattern& pattern, std::string_view path, std::string_view name) const;

    std::string base_;
    std::vector<Pattern> patterns_;
};

}  // namespace Ignore

}  // namespace tessaly
