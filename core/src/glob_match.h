#pragma once
// Git's glob: `*`, `?`, `[...]` (ranges, `!` or `^` to negate, `[:alpha:]` and the other
// POSIX classes), `\` to take the next character as it is, and `**` between slashes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

namespace Ignore {

// One pattern, read once and matched against many texts. With `pathname`, `*`, `?` and
// `[...]` never match a "/", and only `**/`, `/**` and `/**/` reach across folders.
class Glob {
  public:
    Glob(std::string_view pattern, bool pathname);

    // True when the pattern matches the whole of `text`. Takes time in proportion to the
    // text's length times the pattern's, whatever the pattern: git's own matcher backtracks and
    // can take exponential time, with the same answers.
    bool matches(std::string_view text) const;

  private:
    enum class Kind {
        literal,  // one character
        any,      // `?`
        set,      // `[...]`
        // From here on a token may stand for no character.
        star,      // `*`: any run of characters within one name, or none
        starStar,  // `**`: any run of characters, or none
        // `**/` at the start or after a "/" is this, `**` and "/": it passes over both, so
        // the pattern goes on either after nothing or after anything that ends in "/".
        maySkipFolders,
    };
    struct Token {
        Kind kind;
        unsigned char c = 0;     // literal
        std::size_t from = 0;    // set: where its "[" stands in the pattern
        bool skippable = false;  // the "/" of `**/`
    };

    bool takes(const Token& token, unsigned char c) const;
    bool run(std::string_view text) const;

    std::string pattern_;
    bool pathname_;
    bool never_ = false;  // malformed: an unclosed "[", an unknown class or a trailing "\"
    std::vector<Token> tokens_;
    // What any matching text has, found without running the tokens: most texts fail here.
    std::string head_;           // the literal characters the pattern starts with
    std::string tail_;           // and ends with
    std::size_t minLength_ = 0;  // one character for each token that is not a star
};

// Glob(pattern, pathname).matches(text).
bool globMatch(std::string_view pattern, std::string_view text, bool pathname);

}  // namespace Ignore

}  // namespace tessaly
