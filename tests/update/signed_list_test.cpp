#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tessaly/signed_list.h"

using namespace tessaly;

using Update::EntryKind;
using Update::parseList;
using Update::SignedEntry;
using Update::SignedList;
using Update::writeList;

namespace {

const std::string zeros(64, '0');
const std::string abcHash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

SignedEntry folderEntry(std::string path) {
    SignedEntry e;
    e.path = std::move(path);
    e.kind = EntryKind::dir;
    return e;
}

SignedEntry fileEntry(std::string path, bool executable, std::uint8_t firstByte = 0) {
    SignedEntry e;
    e.path = std::move(path);
    e.kind = EntryKind::file;
    e.executable = executable;
    e.sha256[0] = firstByte;
    e.sha256[31] = 0xff;
    return e;
}

SignedEntry linkEntry(std::string path, std::string target) {
    SignedEntry e;
    e.path = std::move(path);
    e.kind = EntryKind::link;
    e.linkTarget = std::move(target);
    return e;
}

// A list in the order parseList wants: byte order of the paths, folders before what is in them.
SignedList hostileList() {
    return {.team = "ABCDE12345",
            .version = "1.2.0 beta%1\n",
            .entries = {
                fileEntry("100%", false, 1),
                folderEntry("a b"),
                fileEntry("a b/new\nline", true, 2),
                fileEntry("a b/tab\there", false, 3),
                linkEntry("a b/\x7f\x01", "../with space/\xff\xfe%"),
                folderEntry("bin"),
                fileEntry("bin/tessaly", true, 4),
                folderEntry("caf\xc3\xa9"),
                linkEntry("caf\xc3\xa9/\xff\xfe", "./x//y/"),
            }};
}

}  // namespace

TEST(SignedListText, HostileNamesRoundTripExactly) {
    const SignedList list = hostileList();
    const std::string text = writeList(list);
    const auto parsed = parseList(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, list);
}

TEST(SignedListText, EveryRecordIsOneLineOfPrintableAscii) {
    const std::string text = writeList(hostileList());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 9);
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(c == '\n' || (b >= 0x20 && b < 0x7f)) << "byte " << int(b);
    }
}

TEST(SignedListText, HasTheDocumentedLayout) {
    const SignedList list{
        .team = "ABCDE12345",
        .version = "1.2.0",
        .entries = {folderEntry("bin"), fileEntry("bin/tessaly", true), folderEntry("share"),
                    linkEntry("share/alias", "../bin/tessaly"),
                    fileEntry("share/my notes", false)}};
    const std::string hash = "00" + std::string(60, '0') + "ff";
    EXPECT_EQ(writeList(list),
              "tessaly-signed-list 1\n"
              "team ABCDE12345\n"
              "version 1.2.0\n"
              "dir bin\n"
              "file x " +
                  hash +
                  " bin/tessaly\n"
                  "dir share\n"
                  "link ../bin/tessaly share/alias\n"
                  "file - " +
                  hash + " share/my%20notes\n");
}

TEST(SignedListText, AListWithoutEntriesRoundTrips) {
    const SignedList list{.team = "T", .version = "1", .entries = {}};
    EXPECT_EQ(parseList(writeList(list)), list);
}

TEST(SignedListText, ReadsTheDigestAsHex) {
    const auto parsed =
        parseList("tessaly-signed-list 1\nteam T\nversion 1\nfile - " + abcHash + " abc\n");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->entries[0].sha256[0], 0xba);
    EXPECT_EQ(parsed->entries[0].sha256[31], 0xad);
}

class SignedListRefuses : public testing::TestWithParam<std::pair<const char*, std::string>> {};

TEST_P(SignedListRefuses, MalformedText) {
    EXPECT_FALSE(parseList(GetParam().second).has_value()) << GetParam().second;
}

namespace {

const std::string head = "tessaly-signed-list 1\nteam ABCDE12345\nversion 1.0\n";
const std::string fileLine = "file - " + zeros + " ";

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    BadInputs, SignedListRefuses,
    testing::Values(
        std::pair("Empty", std::string()),
        std::pair("OnlyHeader", std::string("tessaly-signed-list 1\n")),
        std::pair("NoHeader", std::string("team A\nversion 1\n")),
        std::pair("OtherFormatVersion", std::string("tessaly-signed-list 2\nteam A\nversion 1\n")),
        std::pair("NoFinalNewline", head + "dir a"),
        std::pair("CarriageReturns",
                  std::string("tessaly-signed-list 1\r\nteam A\r\nversion 1\r\n")),
        std::pair("TeamAndVersionSwapped",
                  std::string("tessaly-signed-list 1\nversion 1\nteam A\n")),
        std::pair("EmptyTeam", std::string("tessaly-signed-list 1\nteam \nversion 1\n")),
        std::pair("TeamWithTwoWords", std::string("tessaly-signed-list 1\nteam A B\nversion 1\n")),
        std::pair("UnknownKeyword", head + "fifo a\n"),
        std::pair("KeywordInCapitals", head + "DIR a\n"), std::pair("BlankLine", head + "\n"),
        std::pair("DoubleSpace", head + "dir  a\n"), std::pair("TrailingSpace", head + "dir a \n"),
        std::pair("ExtraField", head + "dir a b\n"),
        std::pair("RepeatedPath", head + "dir a\ndir a\n"),
        std::pair("RepeatedPathOtherKind", head + fileLine + "a\n" + "link b a\n"),
        std::pair("Unsorted", head + fileLine + "b\n" + fileLine + "a\n"),
        std::pair("ShortDigest", head + "file - " + zeros.substr(1) + " a\n"),
        std::pair("UpperCaseDigest", head + "file - " + std::string(64, 'A') + " a\n"),
        std::pair("NotHexDigest", head + "file - " + std::string(64, 'g') + " a\n"),
        std::pair("BadExecutableFlag", head + "file y " + zeros + " a\n"),
        std::pair("DotDotPath", head + fileLine + "..\n"),
        std::pair("DotDotInsidePath", head + "dir a\n" + fileLine + "a/../b\n"),
        std::pair("DotPath", head + "dir a\n" + fileLine + "a/./b\n"),
        std::pair("EmptyName", head + "dir a\n" + fileLine + "a//b\n"),
        std::pair("TrailingSlash", head + "dir a/\n"),
        std::pair("AbsolutePath", head + fileLine + "/etc/passwd\n"),
        std::pair("BelowUnlistedFolder", head + fileLine + "a/b\n"),
        std::pair("BelowAFile", head + fileLine + "a\n" + fileLine + "a/b\n"),
        std::pair("BelowALink", head + "link x a\n" + fileLine + "a/b\n"),
        std::pair("EmptyLinkTarget", head + "link  a\n"),
        std::pair("TheSignatureFileItself", head + fileLine + "SIGNATURE\n"),
        std::pair("BareTab", head + fileLine + "a\tb\n"),
        std::pair("BareNonAscii", head + fileLine + "caf\xc3\xa9\n"),
        std::pair("BarePercent", head + fileLine + "100%\n"),
        std::pair("EscapeOfAPlainLetter", head + fileLine + "%61\n"),
        std::pair("EscapeOfASlash", head + "dir a\n" + fileLine + "a%2Fb\n"),
        std::pair("LowerCaseEscape", head + fileLine + "%c3%a9\n"),
        std::pair("ShortEscape", head + fileLine + "a%2\n"),
        std::pair("NotHexEscape", head + fileLine + "a%zz\n"),
        std::pair("NulEscape", head + fileLine + "a%00b\n"),
        std::pair("SignatureLineLeftIn", head + "signature " + zeros + zeros + "\n")),
    [](const auto& info) { return std::string(info.param.first); });

// The parser will be fed anything: every truncation and every single-byte change of a valid
// list must be refused or read as a list that writes back as exactly that text.
TEST(SignedListText, DamagedTextIsRefusedOrReadCanonically) {
    const std::string text = writeList(hostileList());
    const auto checkOne = [](const std::string& damaged) {
        if (const auto parsed = parseList(damaged)) {
            EXPECT_EQ(writeList(*parsed), damaged);
        }
    };
    for (std::size_t size = 0; size < text.size(); ++size)
        checkOne(text.substr(0, size));
    for (std::size_t at = 0; at < text.size(); ++at) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string damaged = text;
            damaged[at] = static_cast<char>(byte);
            checkOne(damaged);
        }
    }
}
