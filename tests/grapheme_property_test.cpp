// The token count and the fence take shortcuts (line by line, ASCII without ICU); over text
// built to hit every seam they must agree with ICU walking the whole text at once.

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tessaly/pack.h"
#include "tessaly/text.h"

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
const std::array<const char*, 22> pieces{
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
