#include "glob_match.h"

#include <array>
#include <cstdint>
#include <optional>

#include "ascii.h"

namespace tessaly {

namespace Ignore {
namespace {

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
int inNamedClass(std::string_view name, unsigned char c) {
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

unsigned char at(std::string_view s, std::size_t i) {
    return i < s.size() ? static_cast<unsigned char>(s[i]) : '\0';
}

struct ClassScan {
    std::size_t end = 0;  // the closing "]"
    bool contains = false;
};

// Reads the `[...]` at `p` as git does and tells whether it holds `c`; nothing when it is
// malformed. Where it ends depends on the pattern alone.
std::optional<ClassScan> scanClass(std::string_view pattern, std::size_t p, unsigned char c) {
    unsigned char pc = at(pattern, ++p);
    if (pc == '^') pc = '!';
    const bool negated = pc == '!';
    if (negated) pc = at(pattern, ++p);
    unsigned char prev = 0;
    bool matched = false;
    do {
        if (pc == '\0') return std::nullopt;
        if (pc == '\\') {
            pc = at(pattern, ++p);
            if (pc == '\0') return std::nullopt;
            matched |= c == pc;
        } else if (pc == '-' && prev != 0 && at(pattern, p + 1) != '\0' &&
                   at(pattern, p + 1) != ']') {
            pc = at(pattern, ++p);
            if (pc == '\\') {
                pc = at(pattern, ++p);
                if (pc == '\0') return std::nullopt;
            }
            matched |= c >= prev && c <= pc;
            pc = 0;  // a range does not start another
        } else if (pc == '[' && at(pattern, p + 1) == ':') {
            const std::size_t name = p + 2;
            std::size_t end = name;
            while (at(pattern, end) != '\0' && at(pattern, end) != ']')
                ++end;
            if (at(pattern, end) == '\0') return std::nullopt;
            if (end == name || at(pattern, end - 1) != ':') {
                matched |= c == '[';  // no ":]": the "[" is an ordinary member
                continue;
            }
            const int member = inNamedClass(pattern.substr(name, end - 1 - name), c);
            if (member < 0) return std::nullopt;
            matched |= member == 1;
            p = end;
            pc = 0;
        } else {
            matched |= c == pc;
        }
    } while (prev = pc, (pc = at(pattern, ++p)) != ']');
    return ClassScan{p, matched != negated};
}

// Which tokens the text read so far can stand before: one bit each.
class States {
  public:
    explicit States(std::size_t count) : words_((count + 63) / 64) {
        if (words_ > inline_.size()) heap_.assign(words_, 0);
    }
    bool test(std::size_t i) const { return (data()[i / 64] >> (i % 64)) & 1U; }
    void set(std::size_t i) { data()[i / 64] |= std::uint64_t{1} << (i % 64); }
    void clear() {
        for (std::size_t w = 0; w < words_; ++w)
            data()[w] = 0;
    }
    bool empty() const {
        for (std::size_t w = 0; w < words_; ++w)
            if (data()[w] != 0) return false;
        return true;
    }

  private:
    std::uint64_t* data() { return heap_.empty() ? inline_.data() : heap_.data(); }
    const std::uint64_t* data() const { return heap_.empty() ? inline_.data() : heap_.data(); }

    std::size_t words_;
    std::array<std::uint64_t, 4> inline_{};  // patterns of up to 255 tokens need no allocation
    std::vector<std::uint64_t> heap_;
};

}  // namespace

Glob::Glob(std::string_view pattern, bool pathname) : pattern_(pattern), pathname_(pathname) {
    for (std::size_t p = 0; p < pattern.size() && !never_;) {
        const unsigned char c = at(pattern, p);
        if (c == '\\') {
            never_ = p + 1 == pattern.size();  // escapes nothing: matches nothing
            tokens_.push_back({Kind::literal, at(pattern, p + 1)});
            p += 2;
        } else if (c == '?') {
            tokens_.push_back({Kind::any});
            ++p;
        } else if (c == '[') {
            const std::optional<ClassScan> scan = scanClass(pattern, p, 0);
            never_ = !scan;
            tokens_.push_back({Kind::set, 0, p});
            p = scan ? scan->end + 1 : pattern.size();
        } else if (c == '*') {
            std::size_t after = p + 1;
            while (at(pattern, after) == '*')
                ++after;
            const unsigned char next = at(pattern, after);
            // Two stars or more reach across folders only as a whole name.
            const bool wholeName =
                after - p > 1 && (p == 0 || pattern[p - 1] == '/') &&
                (next == '\0' || next == '/' || (next == '\\' && at(pattern, after + 1) == '/'));
            if (wholeName && next == '/') {
                tokens_.push_back({Kind::maySkipFolders});
                tokens_.push_back({Kind::starStar});
                tokens_.push_back({Kind::literal, '/', 0, true});
                ++after;
            } else {
                tokens_.push_back({wholeName ? Kind::starStar : Kind::star});
            }
            p = after;
        } else {
            tokens_.push_back({Kind::literal, c});
            ++p;
        }
    }
    const auto fixed = [](const Token& t) { return t.kind == Kind::literal && !t.skippable; };
    for (auto t = tokens_.begin(); t != tokens_.end() && fixed(*t); ++t)
        head_ += static_cast<char>(t->c);
    for (auto t = tokens_.rbegin(); t != tokens_.rend() && fixed(*t); ++t)
        tail_.insert(tail_.begin(), static_cast<char>(t->c));
    for (const Token& t : tokens_)
        minLength_ += t.kind < Kind::star && !t.skippable;
}

bool Glob::matches(std::string_view text) const {
    return !never_ && text.size() >= minLength_ && text.starts_with(head_) &&
           text.ends_with(tail_) && run(text);
}

bool Glob::run(std::string_view text) const {
    const std::size_t count = tokens_.size();
    States now(count + 1);
    States next(count + 1);
    // Stars may stand for nothing: what stands before one also stands after it.
    const auto close = [this, count](States& states) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!states.test(i)) continue;
            const Kind kind = tokens_[i].kind;
            if (kind == Kind::star || kind == Kind::starStar || kind == Kind::maySkipFolders)
                states.set(i + 1);
            if (kind == Kind::maySkipFolders) states.set(i + 3);
        }
    };
    now.set(0);
    close(now);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        next.clear();
        for (std::size_t i = 0; i < count; ++i) {
            if (!now.test(i)) continue;
            const Token& token = tokens_[i];
            if (token.kind == Kind::star) {
                if (!pathname_ || c != '/') next.set(i);
            } else if (token.kind == Kind::starStar) {
                next.set(i);
            } else if (token.kind != Kind::maySkipFolders && takes(token, c)) {
                next.set(i + 1);
            }
        }
        close(next);
        if (next.empty()) return false;
        std::swap(now, next);
    }
    return now.test(count);
}

bool Glob::takes(const Token& token, unsigned char c) const {
    if (token.kind == Kind::literal) return c == token.c;
    if (pathname_ && c == '/') return false;
    if (token.kind == Kind::any) return true;
    return scanClass(pattern_, token.from, c)->contains;
}

bool globMatch(std::string_view pattern, std::string_view text, bool pathname) {
    return Glob(pattern, pathname).matches(text);
}

}  // namespace Ignore

}  // namespace tessaly
