// The character count and the fence take shortcuts (their own table of ICU's properties, runs
// of plain text eight bytes at a time, each body counted alone and the counts added up); over
// text built to hit every rule and seam they must agree with ICU walking the whole text.

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "document.h"
#include "measure.h"
#include "tessaly/file_facts.h"
#include "tessaly/pack.h"
#include "text.h"

using namespace tessaly;

namespace {

struct Reference {
    std::int64_t characters = 0;
    std::string fence;  // one longer than the longest run of lone backtick clusters, at least 3
};

Reference icuWalk(const std::string& s) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText* text = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    it->setText(text, status);
    EXPECT_TRUE(U_SUCCESS(status));
    Reference r;
    std::size_t longest = 0, run = 0;
    for (int32_t start = it->first(), end = it->next(); end != icu::BreakIterator::DONE;
         start = end, end = it->next(), ++r.characters) {
        run = end - start == 1 && s[start] == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    it.reset();
    utext_close(text);
    r.fence.assign(std::max<std::size_t>(longest + 1, 3), '`');
    return r;
}

using Alphabet = std::vector<std::string>;

Alphabet pieces(std::string_view list) {
    Alphabet out;
    for (std::size_t at = 0, bar; at <= list.size(); at = bar + 1) {
        bar = std::min(list.find('|', at), list.size());
        out.emplace_back(list.substr(at, bar - at));
    }
    return out;
}

// What random text is drawn from, pieces split at "|": each kind of text the rules treat
// apart, for long runs of it, and, last, some of all of them and ASCII, for the seams.
const std::vector<Alphabet> alphabets{
    pieces("\u1100|\u1161|\u11A8|\uAC00|\uAC01|\uD7B0| "),        // Hangul L V T LV LVT
    pieces("क|ष|\u094D|\u093F|\u0902|\u200D|\u200C|ক|\u09CD"),    // conjuncts, joiners
    pieces("க|\u0BCD|ஷ|\u0BBF|ก|\u0E33|\u0E31|\u0E40|\u0D4E| "),  // no conjunct; prepend
    pieces("👍|\U0001F3FD|\u200D|👩|💻|\uFE0F|❤|©|\u20E3|1"),        // emoji, keycaps
    pieces("\U0001F1E9|\U0001F1EA|\U0001F1EB|x|\u0301"),          // flags
    pieces("ж|я|Ω|中|文|한|あ|ゃ|\u3099|«| |\t|`|``|a"),          // plain, a mark
    pieces("a|`|```|\r|\n|\r\n| "
           "|\u0301|\u200D|\u0600|\u0903|é|👨‍👩‍👧|🇩🇪|🇫|\u1100|\u1161|"
           "\u11A8|\uAC00|\U0001F3FB|\u00AD|x\u0308\u0301|क्ष|\t\x7F|"
           "a long stretch of ASCII, past several eight-byte steps"),
};
const Alphabet& mixed = alphabets.back();

std::string randomText(std::mt19937& rng, const Alphabet& alphabet, std::size_t pieceCount) {
    std::string s;
    for (std::size_t i = 0; i < pieceCount; ++i)
        s += alphabet[rng() % alphabet.size()];
    return s;
}

}  // namespace

TEST(GraphemePropertyTest, CountAndFenceEqualIcuOverTheWholeText) {
    std::mt19937 rng(20261206);
    for (const Alphabet& alphabet : alphabets)
        for (int round = 0; round < 800; ++round) {
            const std::string s = randomText(rng, alphabet, rng() % (round % 4 == 0 ? 400 : 40));
            const Reference icu = icuWalk(s);
            ASSERT_EQ(Text::countGraphemes(s), icu.characters) << "text: " << s;
            ASSERT_EQ(Pack::fence(s), icu.fence) << "text: " << s;
        }
}

namespace {

// A body that ends at a seam: in CR (the document adds LF after it), empty, or starting with
// a mark that would join whatever stood before it.
std::string adversarialBody(std::mt19937& rng, int round) {
    std::string body = randomText(rng, mixed, round % 25);
    switch (round % 5) {
        case 0:
            return body + "\r";
        case 1:
            return "\u0301" + body;
        case 2:
            return round % 10 == 2 ? std::string() : body + "\u200D";
        default:
            return body;
    }
}

}  // namespace

TEST(GraphemePropertyTest, DocumentCountFromBodyCountsEqualsIcuOverTheWholeDocument) {
    std::mt19937 rng(4242);
    const std::array<const char*, 4> tags{"", "cpp", "\u0301", "é"};
    for (int round = 0; round < 1500; ++round) {
        std::vector<Pack::DocumentEntry> entries(static_cast<std::size_t>(round % 6));
        std::deque<std::string> bodies;  // outlive the entries' views; never move
        for (Pack::DocumentEntry& e : entries) {
            bodies.push_back(adversarialBody(rng, round));
            e.span = randomText(rng, mixed, 3);
            e.body = bodies.back();
            e.characters = Collect::measure(e.body).characters;
            e.fence = Pack::fence(e.body);
            e.tag = tags[rng() % tags.size()];
        }
        const std::string title = randomText(rng, mixed, round % 4);
        const Pack::Document d = Pack::writeDocument(title, entries);
        ASSERT_EQ(d.characters, icuWalk(d.markdown).characters) << "document: " << d.markdown;
    }
}

TEST(GraphemePropertyTest, TokenEstimateIsAQuarterOfIcuCountOverTheWholeDocument) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::vector<Collect::CollectedFile> files;
        for (int i = 0; i < round % 5; ++i)
            files.emplace_back("/r/f" + std::to_string(i) + ".md", adversarialBody(rng, round + i));
        const PackResult r = Pack::build(files, "/r", {}, randomText(rng, mixed, 2));
        const std::int64_t icu = icuWalk(r.markdown).characters;
        ASSERT_EQ(r.tokenEstimate, icu > 3 ? icu / 4 : 1) << "document: " << r.markdown;
    }
}
