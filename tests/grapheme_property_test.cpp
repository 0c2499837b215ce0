// The token count and the fence take shortcuts (line by line, ASCII without ICU, each body
// counted alone and the counts added up); over text built to hit every seam they must agree
// with ICU walking the whole text at once.

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
#include <vector>

#include "measure.h"
#include "document.h"
#include "tessaly/file_facts.h"
#include "tessaly/pack.h"
#include "text.h"

using namespace tessaly;

namespace {

// Each cluster of the whole text, as byte offsets.
std::vector<std::pair<std::size_t, std::size_t>> wholeTextClusters(const std::string& s) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText* text = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    it->setText(text, status);
    EXPECT_TRUE(U_SUCCESS(status));
    std::vector<std::pair<std::size_t, std::size_t>> clusters;
    for (int32_t start = it->first(), end = it->next(); end != icu::BreakIterator::DONE;
         start = end, end = it->next())
        clusters.emplace_back(start, end);
    it.reset();
    utext_close(text);
    return clusters;
}

std::string referenceFence(const std::string& s) {
    std::size_t longest = 0, run = 0;
    for (const auto& [start, end] : wholeTextClusters(s)) {
        run = end - start == 1 && s[start] == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return std::string(std::max<std::size_t>(longest + 1, 3), '`');
}

// Pieces that change cluster boundaries next to their neighbours.
const std::array<const char*, 24> pieces{
    "a",
    "`",
    "```",
    "\r",
    "\n",
    "\r\n",
    " ",
    "\u0301",
    "\u200D",
    "\u0600",
    "\u0903",
    "é",
    "👨‍👩‍👧",
    "🇩🇪",
    "🇫",
    "\u1100",
    "\u1161",
    "\u11A8",
    "\uAC00",
    "\U0001F3FB",
    "\u00AD",
    "x\u0308\u0301",
    "a long stretch of ASCII, past one 32-byte step of the scan",
    "\t\x7F",
};

std::string randomText(std::mt19937& rng, std::size_t pieceCount) {
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::string s;
    for (std::size_t i = 0; i < pieceCount; ++i)
        s += pieces[pick(rng)];
    return s;
}

}  // namespace

TEST(GraphemePropertyTest, LineByLineCountEqualsWholeTextCount) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 3000; ++round) {
        const std::string s = randomText(rng, round % 40);
        ASSERT_EQ(Text::countGraphemes(s), static_cast<std::int64_t>(wholeTextClusters(s).size()))
            << "text: " << s;
    }
}

TEST(GraphemePropertyTest, FenceEqualsWholeTextWalk) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        const std::string s = randomText(rng, round % 40);
        ASSERT_EQ(Pack::fence(s), referenceFence(s)) << "text: " << s;
    }
}

namespace {

// A body that ends at a seam: in CR (the document adds LF after it), empty, or starting with
// a mark that would join whatever stood before it.
std::string adversarialBody(std::mt19937& rng, int round) {
    std::string body = randomText(rng, round % 25);
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
            e.span = randomText(rng, 3);
            e.body = bodies.back();
            e.characters = Collect::measure(e.body).characters;
            e.fence = Pack::fence(e.body);
            e.tag = tags[rng() % tags.size()];
        }
        const std::string title = randomText(rng, round % 4);
        const Pack::Document d = Pack::writeDocument(title, entries);
        ASSERT_EQ(d.characters, static_cast<std::int64_t>(wholeTextClusters(d.markdown).size()))
            << "document: " << d.markdown;
    }
}

TEST(GraphemePropertyTest, TokenEstimateIsAQuarterOfIcuCountOverTheWholeDocument) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::vector<Collect::CollectedFile> files;
        for (int i = 0; i < round % 5; ++i)
            files.emplace_back("/r/f" + std::to_string(i) + ".md", adversarialBody(rng, round + i));
        const PackResult r = Pack::build(files, "/r", {}, randomText(rng, 2));
        const auto icu = static_cast<std::int64_t>(wholeTextClusters(r.markdown).size());
        ASSERT_EQ(r.tokenEstimate, icu > 3 ? icu / 4 : 1) << "document: " << r.markdown;
    }
}
