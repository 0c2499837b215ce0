#include <gtest/gtest.h>

#include <string>

#include "tessaly/summary.h"

using namespace tessaly;

namespace {

PackResult resultWith(std::int64_t files, std::int64_t duplicates, int skipped) {
    PackResult r;
    r.fileCount = files;
    r.duplicates = duplicates;
    for (int i = 0; i < skipped; ++i)
        r.skipped.push_back("f" + std::to_string(i) + " — not text");
    return r;
}

}  // namespace

TEST(SummaryTest, StatusCountsFilesWithoutGroupingOrSingular) {
    EXPECT_EQ(Summary::statusText(resultWith(1, 0, 0)), "Packed 1 files ✓");
    EXPECT_EQ(Summary::statusText(resultWith(1234, 0, 0)), "Packed 1234 files ✓");
    EXPECT_EQ(Summary::statusText(resultWith(0, 3, 2)), "No text files found");
}

TEST(SummaryTest, NotesLineNamesDuplicatesThenSkipped) {
    EXPECT_EQ(Summary::notesLine(resultWith(1, 0, 0)), "");
    EXPECT_EQ(Summary::notesLine(resultWith(1, 1, 0)), "1 duplicate removed");
    EXPECT_EQ(Summary::notesLine(resultWith(1, 0, 1)), "1 skipped (binary/large)");
    EXPECT_EQ(Summary::notesLine(resultWith(1, 0, 2)), "2 skipped (binary/large)");
    EXPECT_EQ(Summary::notesLine(resultWith(1, 3, 1)),
              "3 duplicates removed · 1 skipped (binary/large)");
}

TEST(SummaryTest, ByteCountInDecimalUnitsWithOneDecimal) {
    EXPECT_EQ(Summary::byteCountFigure(153), "153 bytes");
    EXPECT_EQ(Summary::byteCountFigure(13'800), "13.8 kB");
    EXPECT_EQ(Summary::byteCountFigure(1'200'000), "1.2 MB");
}

TEST(SummaryTest, TokensFigureHasTheApproximationSign) {
    EXPECT_EQ(Summary::tokensFigure(38), "≈ 38");
    std::string big = Summary::tokensFigure(12'345);
    ASSERT_EQ(big.rfind("≈ ", 0), 0u) << big;
    std::string digits;
    for (char c : big.substr(std::string("≈ ").size()))
        if (c >= '0' && c <= '9') digits += c;
    EXPECT_EQ(digits, "12345") << big;  // the separator is the locale's
}
