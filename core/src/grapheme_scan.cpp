#include "grapheme_scan.h"

#include <algorithm>

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

// Feeds characters through the rules' state machine, counting boundaries, and keeps the
// runs of characters that are a lone backtick: a cluster that starts with a backtick is one
// when the next character starts another cluster.
class Walker {
  public:
    explicit Walker(const Table& table) : table_(table) {}

    void character(std::uint8_t cls) {
        const std::uint32_t step = table_.step(state_, cls);
        characters_ += Table::boundary(step);
        const std::uint32_t restart = table_.restart(cls);
        if (restart == Table::special || pending_) [[unlikely]]
            carry(step, cls);
        else
            state_ = restart;
    }

    // `n` characters that each start a cluster and are not backticks, right after a
    // character() that was not one either.
    void plain(std::size_t n) { characters_ += static_cast<std::int64_t>(n); }

    Scan finish() {
        if (pending_) confirm();
        return {characters_, longest_};
    }

  private:
    void carry(std::uint32_t step, std::uint8_t cls) {
        state_ = Table::stateAfter(step);
        const bool boundary = Table::boundary(step) != 0;
        if (pending_ && boundary) confirm();
        pending_ = boundary && cls == table_.backtickClass();
        if (pending_) cluster_ = characters_;
    }

    void confirm() {
        run_ = cluster_ == lastBacktick_ + 1 ? run_ + 1 : 1;
        lastBacktick_ = cluster_;
        longest_ = std::max(longest_, run_);
    }

    const Table& table_;
    std::uint32_t state_ = Table::start();
    std::int64_t characters_ = 0;
    bool pending_ = false;            // the current cluster is a backtick so far
    std::int64_t cluster_ = 0;        // the number of the cluster that is pending
    std::int64_t lastBacktick_ = -1;  // the number of the last lone backtick
    std::size_t run_ = 0;
    std::size_t longest_ = 0;
};

// Where plain ASCII stops: at the next byte that is not ASCII, a backtick or a CR. Each kind
// is searched for ahead and remembered until passed, so the text is searched once for each.
class PlainAscii {
  public:
    PlainAscii(std::string_view text, std::size_t firstNonAscii)
        : text_(text), nonAscii_(firstNonAscii) {}

    // Bytes of plain ASCII from offset `i`.
    std::size_t from(std::size_t i) {
        if (nonAscii_ <= i) nonAscii_ = orEnd(Ascii::findNonAscii(text_, i));
        if (backtick_ <= i) backtick_ = orEnd(text_.find('`', i));
        if (cr_ <= i) cr_ = orEnd(text_.find('\r', i));
        return std::min({nonAscii_, backtick_, cr_}) - i;
    }

  private:
    std::size_t orEnd(std::size_t at) const {
        return at == std::string_view::npos ? text_.size() : at;
    }

    std::string_view text_;
    std::size_t nonAscii_, backtick_ = 0, cr_ = 0;
};

bool isTrail(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The code point that starts at `p`, moving `p` past it; a byte that starts no well-formed
// sequence is U+FFFD on its own. Never reads at or past `end`.
char32_t decode(const unsigned char*& p, const unsigned char* end) {
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

}  // namespace

Scan scan(std::string_view utf8) {
    const std::size_t firstNonAscii = Ascii::findNonAscii(utf8);
    if (firstNonAscii == std::string_view::npos) return scanAscii(utf8);
    const Table& table = Table::get();
    Walker walker(table);
    PlainAscii plain(utf8, firstNonAscii);
    const auto* const begin = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = begin + utf8.size();
    for (const unsigned char* p = begin; p < end;) {
        // A stretch of plain ASCII: one cluster a byte. Only its first character can join
        // what came before (after a CR or a prepended mark), and only its last can be joined
        // by what follows, so those two go through the rules.
        if (*p < 0x80 && end - p >= 2 && p[1] < 0x80) {
            const std::size_t n = plain.from(static_cast<std::size_t>(p - begin));
            if (n >= 2) {
                walker.character(table.classOf(p[0]));
                walker.plain(n - 2);
                walker.character(table.classOf(p[n - 1]));
                p += n;
                continue;
            }
        }
        walker.character(table.classOf(decode(p, end)));
    }
    return walker.finish();
}

}  // namespace Graphemes

}  // namespace tessaly
