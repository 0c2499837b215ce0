#include "glob_match.h"

#include <cstddef>

#include "ascii.h"

namespace tessaly {

namespace Ignore {
namespace {

// Beyond matching or not, a failure can tell the callers up the stack that no other split of
// the text can match either, which keeps patterns with many stars from taking exponential
// time.
enum class Outcome { match, noMatch, abortAll, abortToStarStar };

bool isGlobSpecial(unsigned char c) {
    return c == '*' || c == '?' || c == '[' || c == '\\';
}

using Ascii::isAlpha;
using Ascii::isDigit;
using Ascii::isLower;
using Ascii::isUpper;

bool isPrint(unsigned char c) {
    return c >= 0x20 && c <= 0x7e;
}
// As git counts them: no vertical tab or form feed.
bool isSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// 1 or 0 for a known class, -1 for a name that is none.
int inClass(std::string_view name, unsigned char c) {
    if (name == "alnum") return isAlpha(c) || isDigit(c);
    if (name == "alpha") return isAlpha(c);
    if (name == "blank") return c == ' ' || c == '\t';
    if (name == "cntrl") return c < 0x20 || c == 0x7f;
    if (name == "digit") return isDigit(c);
    if (name == "graph") return isPrint(c) && c != ' ';
    if (name == "lower") return isLower(c);
    if (name == "print") return isPrint(c);
    if (name == "punct") return isPrint(c) && c != ' ' && !isAlpha(c) && !isDigit(c);
    if (name == "space") return isSpace(c);
    if (name == "upper") return isUpper(c);
    if (name == "xdigit") return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    return -1;
}

class Glob {
  public:
    Glob(std::string_view pattern, std::string_view text, bool pathname)
        : pattern_(pattern), text_(text), pathname_(pathname) {}

    Outcome match(std::size_t p, std::size_t t) const {
        for (; at(pattern_, p) != '\0'; ++t, ++p) {
            unsigned char pc = at(pattern_, p);
            const unsigned char tc = at(text_, t);
            if (tc == '\0' && pc != '*') return Outcome::abortAll;
            switch (pc) {
                case '\\':
                    pc = at(pattern_, ++p);  // a trailing "\" matches nothing
                    [[fallthrough]];
                default:
                    if (tc != pc) return Outcome::noMatch;
                    continue;
                case '?':
                    if (pathname_ && tc == '/') return Outcome::noMatch;
                    continue;
                case '*': {
                    const std::size_t star = p;
                    bool crossesSlash = !pathname_;
                    if (at(pattern_, ++p) == '*') {
                        while (at(pattern_, ++p) == '*') {
                        }
                        if (!startsDoubleStar(star, p)) {
                            crossesSlash = false;
                        } else {
                            // "a/**/b" also matches "a/b": try the stars as nothing first.
                            if (at(pattern_, p) == '/' && match(p + 1, t) == Outcome::match)
                                return Outcome::match;
                            crossesSlash = true;
                        }
                    }
                    if (at(pattern_, p) == '\0') {
                        if (!crossesSlash && text_.find('/', t) != std::string_view::npos)
                            return Outcome::noMatch;
                        return Outcome::match;
                    }
                    if (!crossesSlash && at(pattern_, p) == '/') {
                        // "*/": the star takes the rest of this name; the loop steps over
                        // the slash in both.
                        const std::size_t slash = text_.find('/', t);
                        if (slash == std::string_view::npos) return Outcome::noMatch;
                        t = slash;
                        continue;
                    }
                    return matchStar(p, t, crossesSlash);
                }
                case '[': {
                    const Outcome outcome = matchClass(p, tc);
                    if (outcome != Outcome::match) return outcome;
                    continue;
                }
            }
        }
        return t < text_.size() ? Outcome::noMatch : Outcome::match;
    }

  private:
    static unsigned char at(std::string_view s, std::size_t i) {
        return i < s.size() ? static_cast<unsigned char>(s[i]) : '\0';
    }

    // Stars from `star` to before `after` form "**" standing for whole folders: at the start
    // or after a slash, and at the end or before a slash.
    bool startsDoubleStar(std::size_t star, std::size_t after) const {
        const bool opens = star == 0 || at(pattern_, star - 1) == '/';
        const unsigned char next = at(pattern_, after);
        return opens &&
               (next == '\0' || next == '/' || (next == '\\' && at(pattern_, after + 1) == '/'));
    }

    // The star before pattern position `p` takes text from `t` on, as little as it can first.
    Outcome matchStar(std::size_t p, std::size_t t, bool crossesSlash) const {
        for (unsigned char tc = at(text_, t); tc != '\0'; tc = at(text_, ++t)) {
            const unsigned char literal = at(pattern_, p);
            if (!isGlobSpecial(literal)) {
                // What lies before the next literal character belongs to the star.
                while ((tc = at(text_, t)) != '\0' && (crossesSlash || tc != '/') && tc != literal)
                    ++t;
                if (tc != literal) return Outcome::noMatch;
            }
            const Outcome rest = match(p, t);
            if (rest != Outcome::noMatch) {
                if (!crossesSlash || rest != Outcome::abortToStarStar) return rest;
            } else if (!crossesSlash && tc == '/') {
                return Outcome::abortToStarStar;
            }
        }
        return Outcome::abortAll;
    }

    // `[...]` at `p` against one text character; on a match `p` is left on the "]".
    Outcome matchClass(std::size_t& p, unsigned char tc) const {
        unsigned char pc = at(pattern_, ++p);
        if (pc == '^') pc = '!';
        const bool negated = pc == '!';
        if (negated) pc = at(pattern_, ++p);
        unsigned char prev = 0;
        bool matched = false;
        do {
            if (pc == '\0') return Outcome::abortAll;
            if (pc == '\\') {
                pc = at(pattern_, ++p);
                if (pc == '\0') return Outcome::abortAll;
                matched |= tc == pc;
            } else if (pc == '-' && prev != 0 && at(pattern_, p + 1) != '\0' &&
                       at(pattern_, p + 1) != ']') {
                pc = at(pattern_, ++p);
                if (pc == '\\') {
                    pc = at(pattern_, ++p);
                    if (pc == '\0') return Outcome::abortAll;
                }
                matched |= tc >= prev && tc <= pc;
                pc = 0;  // a range does not start another
            } else if (pc == '[' && at(pattern_, p + 1) == ':') {
                const std::size_t name = p + 2;
                std::size_t end = name;
                while (at(pattern_, end) != '\0' && at(pattern_, end) != ']')
                    ++end;
                if (at(pattern_, end) == '\0') return Outcome::abortAll;
                if (end == name || at(pattern_, end - 1) != ':') {
                    // No ":]": the "[" is an ordinary member.
                    matched |= tc == '[';
                    continue;
                }
                const int member = inClass(pattern_.substr(name, end - 1 - name), tc);
                if (member < 0) return Outcome::abortAll;
                matched |= member == 1;
                p = end;
                pc = 0;
            } else {
                matched |= tc == pc;
            }
        } while (prev = pc, (pc = at(pattern_, ++p)) != ']');
        if (matched == negated || (pathname_ && tc == '/')) return Outcome::noMatch;
        return Outcome::match;
    }

    std::string_view pattern_;
    std::string_view text_;
    bool pathname_;
};

}  // namespace

bool globMatch(std::string_view pattern, std::string_view text, bool pathname) {
    return Glob(pattern, text, pathname).match(0, 0) == Outcome::match;
}

}  // namespace Ignore

}  // namespace tessaly
