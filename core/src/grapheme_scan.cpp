#include "grapheme_scan.h"

#include <algorithm>
#include <cstring>

#include "ascii.h"
#include "grapheme_table.h"

namespace tessaly {

namespace Graphemes {
namespace {

// ASCII alone: a character per byte but for CR LF, and runs of backtick bytes. Needs no table.
Scan scanAscii(std::string_view ascii) {
    Scan scan{static_cast<std::int64_t>(ascii.size()), 0};
    for (std::size_t cr = ascii.find('\r'); cr != std::string_view::npos;
         cr = ascii.find('\r', cr + 1))
        if (cr + 1 < ascii.size() && ascii[cr + 1] == '\n') --scan.characters;
    for (std::size_t at = ascii.find('`'); at != std::string_view::npos;) {
        const std::size_t end = std::min(ascii.find_first_not_of('`', at), ascii.size());
        scan.longestBacktickRun = std::max(scan.longestBacktickRun, end - at);
        at = ascii.find('`', end);
    }
    return scan;
}

bool isTrail(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The code point that starts at `p`, moving `p` past it; a byte that starts no well-formed
// sequence is U+FFFD on its own. Never reads at or past `end`. Always inlined: as a call it
// cost a fifth of the time on text outside ASCII.
[[gnu::always_inline]] inline char32_t decode(const unsigned char*& p, const unsigned char* end) {
    const unsigned char c = p[0];
    const std::ptrdiff_t left = end - p;
    if (c < 0x80) {
        ++p;
        return c;
    }
    if (c >= 0xC2 && c < 0xE0 && left >= 2 && isTrail(p[1])) {
        const char32_t cp = (c & 0x1Fu) << 6 | (p[1] & 0x3Fu);
        p += 2;
        return cp;
    }
    if (c >= 0xE0 && c < 0xF0 && left >= 3 && isTrail(p[1]) && isTrail(p[2])) {
        const char32_t cp = (c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
        p += 3;
        return cp;
    }
    if (c >= 0xF0 && c < 0xF5 && left >= 4 && isTrail(p[1]) && isTrail(p[2]) && isTrail(p[3])) {
        const char32_t cp =
            (c & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
        if (cp <= 0x10FFFF) {
            p += 4;
            return cp;
        }
    }
    ++p;
    return 0xFFFD;
}

// Runs of characters that are a lone backtick: a cluster that starts with a backtick is one
// when the next character starts another cluster. Clusters are known by their number.
class BacktickRuns {
  public:
    // The next character, which starts cluster number `cluster` when `boundary`. Returns
    // whether its cluster is a backtick so far, and so has to be told about the next one.
    [[gnu::noinline]] bool next(bool boundary, bool isBacktick, std::int64_t cluster) {
        if (pending_ && boundary) confirm();
        pending_ = boundary && isBacktick;
        if (pending_) cluster_ = cluster;
        return pending_;
    }

    // At the end of the text.
    std::size_t longest() {
        if (pending_) confirm();
        pending_ = false;
        return longest_;
    }

  private:
    void confirm() {
        run_ = cluster_ == lastBacktick_ + 1 ? run_ + 1 : 1;
        lastBacktick_ = cluster_;
        longest_ = std::max(longest_, run_);
    }

    bool pending_ = false;
    std::int64_t cluster_ = 0;
    std::int64_t lastBacktick_ = -1;
    std::size_t run_ = 0;
    std::size_t longest_ = 0;
};

constexpr std::uint64_t repeat(unsigned char b) {
    return 0x0101010101010101ULL * b;
}

// Whether any byte of `w` is `b`.
constexpr bool holds(std::uint64_t w, unsigned char b) {
    const std::uint64_t x = w ^ repeat(b);
    return ((x - repeat(1)) & ~x & repeat(0x80)) != 0;
}

// The class of the last character that starts in [from, to).
std::uint8_t lastClass(const Table& table, const unsigned char* from, const unsigned char* to) {
    const unsigned char* p = to - 1;
    while (p > from && isTrail(*p))
        --p;
    return table.classOf(decode(p, to));
}

struct PlainRun {
    const unsigned char* end;  // where the first character that is not plain starts
    std::int64_t characters;
    std::uint32_t state;  // after the last
};

// After a plain character, which left `state`: the plain characters that follow from `p` on,
// each of which starts a cluster. Out of line, so the loop that calls it keeps its registers.
[[gnu::noinline]] PlainRun plainRun(const Table& table, const unsigned char* p,
                                    const unsigned char* end, std::uint32_t state) {
    const unsigned char* const start = p;
    std::int64_t count = 0;
    for (bool plain = true; plain && p < end;) {
        // Eight bytes at a time while each is plain ASCII, a trailing byte, or the first of
        // a character that is plain whatever follows it: the count is the sum of their kinds.
        for (; end - p >= 8; p += 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if (table.asciiPlain() && (w & repeat(0x80)) == 0 && !holds(w, '\r') &&
                !holds(w, '`')) {
                count += 8;
                continue;
            }
            unsigned kinds = 0;
            for (int i = 0; i < 8; ++i)
                kinds += table.byteKind(p[i]);
            if (kinds >= Table::closer) break;
            count += kinds;
        }
        // Then one character at a time, over the next eight bytes; a character begun before
        // them was counted at its first byte.
        while (p < end && isTrail(*p))
            ++p;
        for (const unsigned char* until = std::min(p + 8, end); plain && p < until;) {
            const unsigned char* const at = p;
            plain = table.plain(table.classOf(decode(p, end)));
            if (plain)
                ++count;
            else
                p = at;
        }
    }
    if (count > 0) {
        const std::uint8_t cls = lastClass(table, start, p);
        if (table.plain(cls)) state = table.restart(cls);  // else the bytes were not UTF-8
    }
    return {p, count, state};
}

}  // namespace

// The rules' state machine, character by character. Everything it carries stays in
// registers: the plain runs and backtick runs, which are out of line, get and give values.
Scan scan(std::string_view utf8) {
    if (Ascii::isAscii(utf8)) return scanAscii(utf8);
    const Table& table = Table::get();
    const std::uint8_t backtick = table.backtickClass();
    BacktickRuns backticks;
    bool inBacktick = false;  // the current cluster is a backtick so far
    std::uint32_t state = Table::start();
    std::int64_t characters = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        const std::uint8_t cls = table.classOf(decode(p, end));
        const std::uint32_t step = table.step(state, cls);
        characters += Table::boundary(step);
        state = Table::stateAfter(step);
        if (inBacktick || cls == backtick) [[unlikely]]
            inBacktick = backticks.next(Table::boundary(step) != 0, cls == backtick, characters);
        // Runs of plain characters go faster, when the next one looks like starting one.
        // (One branch, not two: which characters are plain changes too often to predict.)
        if (p < end && (table.plain(cls) & (table.byteKind(*p) == 1))) {
            const PlainRun run = plainRun(table, p, end, state);
            p = run.end;
            characters += run.characters;
            state = run.state;
        }
    }
    return {characters, backticks.longest()};
}

}  // namespace Graphemes

}  // namespace tessaly
