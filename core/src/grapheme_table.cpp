#include "grapheme_table.h"

#include <unicode/uchar.h>
#include <unicode/ucpmap.h>
#include <unicode/uscript.h>
#include <unicode/uset.h>
#include <unicode/uvernum.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <utility>

namespace tessaly {

namespace Graphemes {
namespace {

constexpr char32_t codePoints = 0x110000;

// A character's part in an Indic conjunct (an aksara), which keeps "consonant, virama,
// consonant" together.
enum class Conjunct : std::uint8_t { none, consonant, linker, extend };

// What the rules read of a character, packed as a small integer while the table is built.
struct Props {
    std::uint8_t gcb = U_GCB_OTHER;  // Grapheme_Cluster_Break
    bool pictographic = false;       // Extended_Pictographic
    Conjunct conjunct = Conjunct::none;
    bool backtick = false;  // for the fence only: the rules read it as the letter it is

    static constexpr std::uint16_t gcbMask = 0x1F;
    static constexpr std::uint16_t pictographicBit = 0x20;
    static constexpr unsigned conjunctShift = 6;
    static constexpr std::uint16_t backtickBit = 0x100;
    static constexpr std::size_t keys = 0x200;

    static Props of(std::uint16_t key) {
        return {static_cast<std::uint8_t>(key & gcbMask), (key & pictographicBit) != 0,
                static_cast<Conjunct>((key >> conjunctShift) & 3), (key & backtickBit) != 0};
    }
};

// ---- the properties, from ICU ---------------------------------------------------------------

// A property's value over code points, as sorted ranges [first, last].
struct Range {
    char32_t first, last;
    std::uint16_t value;
};

// The ranges of equal values of an enumerated property. When ICU cannot give the property,
// there are none and every character keeps the default: fewer rules apply and the count
// tends towards one character per code point, but nothing fails.
std::vector<Range> rangesOf(UProperty property) {
    std::vector<Range> ranges;
    UErrorCode status = U_ZERO_ERROR;
    const UCPMap* map = u_getIntPropertyMap(property, &status);
    if (U_FAILURE(status)) return ranges;
    for (UChar32 first = 0, last; first < static_cast<UChar32>(codePoints); first = last + 1) {
        std::uint32_t value = 0;
        last = ucpmap_getRange(map, first, UCPMAP_RANGE_NORMAL, 0, nullptr, nullptr, &value);
        if (last < first) break;
        ranges.push_back({static_cast<char32_t>(first), static_cast<char32_t>(last),
                          static_cast<std::uint16_t>(value)});
    }
    return ranges;
}

std::vector<Range> pictographicRanges() {
    std::vector<Range> ranges;
    UErrorCode status = U_ZERO_ERROR;
    const USet* set = u_getBinaryPropertySet(UCHAR_EXTENDED_PICTOGRAPHIC, &status);
    if (U_FAILURE(status)) return ranges;
    for (int32_t i = 0, n = uset_getItemCount(set); i < n; ++i) {
        UChar32 first = 0, last = -1;
        status = U_ZERO_ERROR;
        if (uset_getItem(set, i, &first, &last, nullptr, 0, &status) == 0 && first <= last)
            ranges.push_back({static_cast<char32_t>(first), static_cast<char32_t>(last),
                              Props::pictographicBit});
    }
    return ranges;
}

std::uint16_t conjunctBits(Conjunct role) {
    return static_cast<std::uint16_t>(static_cast<unsigned>(role) << Props::conjunctShift);
}

#if U_ICU_VERSION_MAJOR_NUM >= 74
// From ICU 74 the iterator keeps conjuncts by Indic_Conjunct_Break.
std::vector<Range> conjunctRanges(const std::vector<Range>&) {
    std::vector<Range> ranges;
    for (const Range& r : rangesOf(UCHAR_INDIC_CONJUNCT_BREAK)) {
        const Conjunct role = r.value == U_INCB_CONSONANT ? Conjunct::consonant
                              : r.value == U_INCB_LINKER  ? Conjunct::linker
                              : r.value == U_INCB_EXTEND  ? Conjunct::extend
                                                          : Conjunct::none;
        if (role != Conjunct::none) ranges.push_back({r.first, r.last, conjunctBits(role)});
    }
    return ranges;
}
#else
// ICU 72 and 73 keep conjuncts by their own rule: a consonant, then marks that combine (Extend
// with a combining class other than 0, or ZWJ) with at least one virama among them, then a
// consonant, in Devanagari, Bengali, Gujarati, Oriya, Telugu and Malayalam only.
bool formsConjuncts(UChar32 c) {
    UErrorCode status = U_ZERO_ERROR;
    switch (uscript_getScript(c, &status)) {
        case USCRIPT_DEVANAGARI:
        case USCRIPT_BENGALI:
        case USCRIPT_GUJARATI:
        case USCRIPT_ORIYA:
        case USCRIPT_TELUGU:
        case USCRIPT_MALAYALAM:
            return U_SUCCESS(status);
        default:
            return false;
    }
}

std::vector<Range> conjunctRanges(const std::vector<Range>& gcb) {
    std::map<char32_t, Conjunct> roles;
    for (const Range& r : gcb) {
        if (r.value != U_GCB_EXTEND && r.value != U_GCB_ZWJ) continue;
        for (char32_t c = r.first; c <= r.last; ++c)
            if (r.value == U_GCB_ZWJ || u_getCombiningClass(c) != 0) roles[c] = Conjunct::extend;
    }
    for (const Range& r : rangesOf(UCHAR_INDIC_SYLLABIC_CATEGORY)) {
        if (r.value != U_INSC_CONSONANT && r.value != U_INSC_VIRAMA) continue;
        for (char32_t c = r.first; c <= r.last; ++c)
            if (formsConjuncts(static_cast<UChar32>(c)))
                roles[c] = r.value == U_INSC_CONSONANT ? Conjunct::consonant : Conjunct::linker;
    }
    std::vector<Range> ranges;
    for (const auto& [c, role] : roles)
        ranges.push_back({c, c, conjunctBits(role)});
    return ranges;
}
#endif

// Walks sorted ranges alongside code points that only go up.
class RangeCursor {
  public:
    explicit RangeCursor(std::vector<Range> ranges) : ranges_(std::move(ranges)) {}

    // The value at `c`; 0 outside every range.
    std::uint16_t at(char32_t c) {
        skipTo(c);
        return next_ < ranges_.size() && ranges_[next_].first <= c ? ranges_[next_].value : 0;
    }

    // Whether one value holds over all of [first, last].
    bool uniform(char32_t first, char32_t last) {
        skipTo(first);
        if (next_ == ranges_.size()) return true;
        const Range& r = ranges_[next_];
        return r.first > last || (r.first <= first && r.last >= last);
    }

  private:
    void skipTo(char32_t c) {
        while (next_ < ranges_.size() && ranges_[next_].last < c)
            ++next_;
    }

    std::vector<Range> ranges_;
    std::size_t next_ = 0;
};

// The properties of code points, asked in increasing order, packed as keys.
class PropertyKeys {
  public:
    PropertyKeys() : PropertyKeys(rangesOf(UCHAR_GRAPHEME_CLUSTER_BREAK)) {}

    std::uint16_t at(char32_t c) {
        return static_cast<std::uint16_t>((gcb_.at(c) & Props::gcbMask) | pictographic_.at(c) |
                                          conjunct_.at(c) | (c == '`' ? Props::backtickBit : 0));
    }

    // Whether all of [first, last] have the same key.
    bool uniform(char32_t first, char32_t last) {
        return gcb_.uniform(first, last) && pictographic_.uniform(first, last) &&
               conjunct_.uniform(first, last) && (last < '`' || first > '`');
    }

  private:
    explicit PropertyKeys(std::vector<Range> gcb)
        : conjunct_(conjunctRanges(gcb)),
          gcb_(std::move(gcb)),
          pictographic_(pictographicRanges()) {}

    RangeCursor conjunct_, gcb_, pictographic_;
};

// ---- the rules --------------------------------------------------------------------------------

constexpr std::uint8_t startOfText = 0xFF;

// What the rules need to remember of the text so far.
struct RuleState {
    std::uint8_t last = startOfText;  // the previous character's Grapheme_Cluster_Break
    std::uint8_t emoji = 0;           // 1 after pictographic Extend*, 2 after that and a ZWJ
    bool oddRegional = false;         // after an odd number of regional indicators in a row
    std::uint8_t conjunct = 0;        // 1 after a consonant and marks, 2 when a linker was one

    auto operator<=>(const RuleState&) const = default;
};

bool isControl(unsigned gcb) {
    return gcb == U_GCB_CONTROL || gcb == U_GCB_CR || gcb == U_GCB_LF;
}

// Whether a boundary falls before `c`, by the rules of UAX #29 in the order they apply, with
// ICU's conjunct rule in place of GB9c where ICU has it so.
bool boundaryBefore(const RuleState& s, const Props& c) {
    if (s.last == startOfText) return true;                     // GB1: the first character
    if (s.last == U_GCB_CR && c.gcb == U_GCB_LF) return false;  // GB3
    if (isControl(s.last) || isControl(c.gcb)) return true;     // GB4, GB5
    if (s.last == U_GCB_L &&                                    // GB6: Hangul syllables
        (c.gcb == U_GCB_L || c.gcb == U_GCB_V || c.gcb == U_GCB_LV || c.gcb == U_GCB_LVT))
        return false;
    if ((s.last == U_GCB_LV || s.last == U_GCB_V) && (c.gcb == U_GCB_V || c.gcb == U_GCB_T))
        return false;                                                                  // GB7
    if ((s.last == U_GCB_LVT || s.last == U_GCB_T) && c.gcb == U_GCB_T) return false;  // GB8
    if (c.gcb == U_GCB_EXTEND || c.gcb == U_GCB_ZWJ) return false;                     // GB9
    if (c.gcb == U_GCB_SPACING_MARK) return false;                                     // GB9a
    if (s.last == U_GCB_PREPEND) return false;                                         // GB9b
    if (s.conjunct == 2 && c.conjunct == Conjunct::consonant) return false;            // GB9c
    if (s.emoji == 2 && c.pictographic) return false;  // GB11: emoji ZWJ sequences
    if (s.last == U_GCB_REGIONAL_INDICATOR && c.gcb == U_GCB_REGIONAL_INDICATOR && s.oddRegional)
        return false;  // GB12, GB13: flags
    return true;       // GB999
}

RuleState after(const RuleState& s, const Props& c) {
    RuleState next;
    next.last = c.gcb;
    next.emoji = c.pictographic                          ? 1
                 : s.emoji == 1 && c.gcb == U_GCB_EXTEND ? 1
                 : s.emoji == 1 && c.gcb == U_GCB_ZWJ    ? 2
                                                         : 0;
    next.oddRegional =
        c.gcb == U_GCB_REGIONAL_INDICATOR && !(s.last == U_GCB_REGIONAL_INDICATOR && s.oddRegional);
    next.conjunct = c.conjunct == Conjunct::consonant                  ? 1
                    : s.conjunct > 0 && c.conjunct == Conjunct::linker ? 2
                    : s.conjunct > 0 && c.conjunct == Conjunct::extend ? s.conjunct
                                                                       : 0;
    return next;
}

}  // namespace

// ---- the table ----------------------------------------------------------------------------

const Table& Table::get() {
    static const Table table;
    return table;
}

Table::Table() {
    // Classes: the distinct keys, numbered in order of first appearance.
    std::array<int, Props::keys> classOfKey;
    classOfKey.fill(-1);
    std::vector<Props> classes;
    auto classFor = [&](std::uint16_t key) {
        int& cls = classOfKey[key];
        if (cls < 0) {
            cls = static_cast<int>(classes.size());
            classes.push_back(Props::of(key));
        }
        return static_cast<char>(cls);
    };
    // Blocks: each distinct run of 64 classes stored once. Most hold one class throughout.
    auto addBlock = [&](const std::string& block) {
        blocks_.insert(blocks_.end(), block.begin(), block.end());
        return static_cast<std::uint16_t>(blocks_.size() / blockSize - 1);
    };
    PropertyKeys keys;
    std::map<char, std::uint16_t> uniformIds;
    std::map<std::string, std::uint16_t> mixedIds;
    blockOf_.resize(codePoints >> blockBits);
    for (std::size_t b = 0; b < blockOf_.size(); ++b) {
        const auto first = static_cast<char32_t>(b << blockBits);
        const char32_t last = first + blockSize - 1;
        if (keys.uniform(first, last)) {
            const char cls = classFor(keys.at(first));
            const auto it = uniformIds.find(cls);
            blockOf_[b] = it != uniformIds.end()
                              ? it->second
                              : uniformIds[cls] = addBlock(std::string(blockSize, cls));
            continue;
        }
        std::string block(blockSize, '\0');
        for (char32_t c = first; c <= last; ++c)
            block[c - first] = classFor(keys.at(c));
        const auto it = mixedIds.find(block);
        blockOf_[b] = it != mixedIds.end() ? it->second : mixedIds[block] = addBlock(block);
    }
    backtickClass_ = classOf(U'`');

    // States: those reachable from the start, numbered as found; a state is stored as its
    // offset into the steps, so that a step is one addition and one load.
    const auto classCount = static_cast<std::uint32_t>(classes.size());
    std::map<RuleState, std::uint32_t> stateIds{{RuleState{}, 0}};
    std::vector<RuleState> states{RuleState{}};
    for (std::size_t i = 0; i < states.size(); ++i) {
        steps_.resize(states.size() * classCount);
        for (std::uint32_t cls = 0; cls < classCount; ++cls) {
            const RuleState next = after(states[i], classes[cls]);
            const auto [it, added] =
                stateIds.emplace(next, static_cast<std::uint32_t>(states.size()));
            if (added) states.push_back(next);
            steps_[i * classCount + cls] =
                it->second * classCount |
                (boundaryBefore(states[i], classes[cls]) ? boundaryBit : 0);
        }
    }
    steps_.resize(states.size() * classCount);
    for (std::uint32_t cls = 0; cls < classCount; ++cls) {
        const auto c = static_cast<std::uint8_t>(cls);
        std::uint32_t restart = stateAfter(step(start(), c));
        for (std::uint32_t state = 0; state < steps_.size(); state += classCount)
            if (stateAfter(step(state, c)) != restart) restart = carried;
        restarts_.push_back(restart);
    }
    findPlainClasses();
    findByteKinds();
}

// Starts from the classes whose state depends on them alone and drops, one at a time, the
// one that joins others most often (a prepended mark, a Hangul jamo, CR before LF; among
// equals the later), until none joins another.
void Table::findPlainClasses() {
    const std::size_t classCount = restarts_.size();
    for (std::size_t cls = 0; cls < classCount; ++cls)
        plain_.push_back(restarts_[cls] != carried && cls != backtickClass_ ? 1 : 0);
    for (;;) {
        std::vector<int> joins(classCount);
        for (std::size_t a = 0; a < classCount; ++a)
            for (std::size_t b = 0; b < classCount; ++b)
                if (plain_[a] && plain_[b] &&
                    !boundary(step(restarts_[a], static_cast<std::uint8_t>(b))))
                    ++joins[a], ++joins[b];
        const auto most = std::max_element(joins.rbegin(), joins.rend());
        if (*most == 0) return;
        plain_[static_cast<std::size_t>(joins.rend() - most) - 1] = 0;
    }
}

void Table::findByteKinds() {
    std::vector<bool> plainBlock;  // per distinct block
    for (std::size_t at = 0; at < blocks_.size(); at += blockSize)
        plainBlock.push_back(std::all_of(&blocks_[at], &blocks_[at] + blockSize,
                                         [&](std::uint8_t cls) { return plain(cls); }));
    // The code points a first byte can start, as the scan decodes them.
    const auto allPlain = [&](char32_t first, char32_t count) {
        const char32_t last = std::min<char32_t>(first + count, codePoints) - 1;
        for (char32_t block = first >> blockBits; block <= last >> blockBits; ++block)
            if (!plainBlock[blockOf_[block]]) return false;
        return true;
    };
    for (unsigned b = 0; b < 256; ++b) {
        const bool starts = b < 0x80                ? plain(classOf(b))
                            : b < 0xC0              ? false
                            : b >= 0xC2 && b < 0xE0 ? allPlain((b & 0x1Fu) << 6, 1u << 6)
                            : b >= 0xE0 && b < 0xF0 ? allPlain((b & 0x0Fu) << 12, 1u << 12)
                            : b >= 0xF0 && b < 0xF5 ? allPlain((b & 0x07u) << 18, 1u << 18)
                                                    : false;
        byteKinds_[b] = b >= 0x80 && b < 0xC0 ? 0 : starts ? 1 : closer;
    }
    asciiPlain_ = true;
    for (unsigned b = 0; b < 0x80; ++b)
        if (b != '\r' && b != '`' && byteKinds_[b] != 1) asciiPlain_ = false;
}

}  // namespace Graphemes

}  // namespace tessaly
