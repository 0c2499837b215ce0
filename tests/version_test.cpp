#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tessaly/updater.h"

using namespace tessaly;

namespace {

struct Comparison {
    std::string candidate;
    std::string current;
    bool newer;
};

void expectAll(const std::vector<Comparison>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(Updater::isNewer(c.candidate, c.current), c.newer)
            << "\"" << c.candidate << "\" against \"" << c.current << "\"";
}

TEST(IsNewer, ComparesPiecesAsNumbersNotText) {
    expectAll({
        {"1.10", "1.9", true},
        {"1.9", "1.10", false},
        {"2", "10", false},
        {"1.007", "1.6", true},
        {"1.2.4", "1.2.3", true},
        {"1.3", "1.2.9", true},
        {"0.1.0", "0.0.99", true},
    });
}

TEST(IsNewer, MissingPiecesCountAsZero) {
    expectAll({
        {"1.2", "1.2.0", false},
        {"1.2.0", "1.2", false},
        {"1.0.0.1", "1.0", true},
        {"1.0", "1.0.0.1", false},
        {"1.2.0.0.0.0.0.0.0.0.0.0.1", "1.2", true},
        {"0.0.1", "", true},
    });
}

TEST(IsNewer, EmptyPiecesAreDropped) {
    expectAll({
        {"1..2", "1.2", false},  // two pieces, not 1.0.2
        {"1..3", "1.2", true},
        {".5", "4", true},  // one piece
        {"5.", "5", false},
        {"...", "", false},
        {"", "0", false},
    });
}

TEST(IsNewer, UnreadablePiecesCountAsZero) {
    expectAll({
        {"2.0-beta", "1.9", true},   // [2, 0] against [1, 9]
        {"1.2.3b", "1.2.2", false},  // [1, 2, 0]
        {"v2.0", "1.0", false},      // [0, 0]
        {" 1.3", "1.2", false},      // a space is not a digit
        {"1.3 ", "1.2", false},
        {"1.0x10", "1.0", false},
        {"1.1e3", "1.2", false},
        {"1.+", "1", false},  // a sign alone
        {"1.-", "1", false},
        {"1.+-2", "1", false},
        {"1.--2", "1", false},
        {"1.\xd9\xa3", "1", false},  // ARABIC-INDIC DIGIT THREE is not ASCII
    });
}

TEST(IsNewer, PiecesAreSigned) {
    expectAll({
        {"1.-1", "1", false},
        {"1", "1.-1", true},
        {"+2", "1", true},  // reads as 2
        {"+2", "2", false},
        {"2", "+2", false},
        {"1.-0", "1", false},
    });
}

TEST(IsNewer, PiecesOutsideSigned64BitsCountAsZero) {
    expectAll({
        {"99999999999999999999", "1", false},  // twenty digits: 0
        {"1", "99999999999999999999", true},
        {"9223372036854775807", "9223372036854775806", true},    // the largest value
        {"9223372036854775808", "1", false},                     // one beyond it: 0
        {"-9223372036854775807", "-9223372036854775808", true},  // the smallest is in range
        {"-9223372036854775808", "-9223372036854775807", false},
        {"-9223372036854775809", "-1", true},  // one beyond it: 0
    });
}

TEST(IsNewer, EqualVersionsAreNotNewer) {
    expectAll({
        {"1.2.3", "1.2.3", false},
        {"", "", false},
        {"1", "1.0.0", false},
        {"beta", "alpha", false},  // both read as 0
    });
}

}  // namespace
