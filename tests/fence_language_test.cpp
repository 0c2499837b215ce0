#include <gtest/gtest.h>

#include <string>

#include "tessaly/pack.h"

using namespace tessaly;

namespace {

std::string ticks(std::size_t n) {
    return std::string(n, '`');
}

}  // namespace

TEST(FenceTest, AtLeastThreeBackticks) {
    EXPECT_EQ(Pack::fence(""), "```");
    EXPECT_EQ(Pack::fence("no backticks here"), "```");
    EXPECT_EQ(Pack::fence("a `b` and ``c``"), "```");
}

TEST(FenceTest, OneMoreThanTheLongestRunWhereverItStands) {
    EXPECT_EQ(Pack::fence("```"), ticks(4));
    EXPECT_EQ(Pack::fence("x ``` y\n`````\nz"), ticks(6));
    EXPECT_EQ(Pack::fence("inline " + ticks(7) + " code"), ticks(8));
}

TEST(FenceTest, LoneBacktickAtTheEndIsARunOfOne) {
    EXPECT_EQ(Pack::fence("ends with `"), "```");
    EXPECT_EQ(Pack::fence("ends with ```"), ticks(4));
}

TEST(FenceTest, BacktickCarryingACombiningMarkEndsTheRun) {
    // The fourth backtick carries U+0301. Counted by byte or code point this would be a run of
    // four and a fence of five.
    EXPECT_EQ(Pack::fence("````\u0301```"), ticks(4));
    EXPECT_EQ(Pack::fence("```\u0301"), "```");
}

TEST(FenceTest, TildesNeverCount) {
    EXPECT_EQ(Pack::fence("~~~~~~\ncode\n~~~~~~"), "```");
}

TEST(LanguageTest, TagsFromTheLastExtensionLowerCased) {
    const std::pair<const char*, const char*> cases[] = {
        {"main.swift", "swift"},
        {"App.JS", "javascript"},
        {"a.cjs", "javascript"},
        {"types.d.ts", "typescript"},
        {"x.Py", "python"},
        {"a.h", "c"},
        {"a.hpp", "cpp"},
        {"a.zsh", "bash"},
        {"config.local.yml", "yaml"},
        {"a.htm", "html"},
        {"README.md", "markdown"},
        {"NOTES.MARKDOWN", "markdown"},
        {"src/deep/main.swift", "swift"},
    };
    for (const auto& [path, tag] : cases)
        EXPECT_EQ(Pack::language(path), tag) << path;
}

TEST(LanguageTest, PlainTextAndPackageFoldersGetNoTag) {
    for (const char* path : {"notes.txt", "a.text", "Makefile", "Package.swiftpm", "a.TXT"})
        EXPECT_EQ(Pack::language(path), "") << path;
}

TEST(LanguageTest, UnknownExtensionIsPassedThroughLowerCased) {
    EXPECT_EQ(Pack::language("main.lua"), "lua");
    EXPECT_EQ(Pack::language("Main.ZIG"), "zig");
    EXPECT_EQ(Pack::language("Straße.ÄBC"), "äbc");
}

TEST(LanguageTest, DotsOutsideTheLastComponentOrLeadingDoNotMakeAnExtension) {
    EXPECT_EQ(Pack::language("src/lib.d/README"), "");
    EXPECT_EQ(Pack::language(".gitignore"), "");
    EXPECT_EQ(Pack::language("conf/.env"), "");
}

// A name may hold any byte but "/" and NUL; the tag is written on the fence line, so an
// extension that could end or break that line is no tag at all.
TEST(LanguageTest, AnExtensionIsTheTagUnlessItWouldEndOrSplitTheFenceLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"notes.a`b", ""},          {"x.a\nb", ""},         {"x.a\rb", ""},
        {"x.a b", ""},              {"x.a\tb", ""},         {"xm.i\x16nmaisft", ""},
        {"x.a\u00A0b", ""},         {"x.a\u3000b", ""},
        {"x.a\x7f", ""},            {"x.a{b}", "a{b}"},     {"x.a\u200Db", "a\u200Db"},
        {"a.abcdefghijklmnopq", "abcdefghijklmnopq"},
        {"x.log_--decorate=full_--all", "log_--decorate=full_--all"},
    };
    for (const auto& [path, tag] : cases)
        EXPECT_EQ(Pack::language(path), tag) << path;
}

TEST(LanguageTest, LettersDigitsAndTagPunctuationPassThrough) {
    EXPECT_EQ(Pack::language("a.C++"), "c++");
    EXPECT_EQ(Pack::language("a.f#"), "f#");
    EXPECT_EQ(Pack::language("a.x86_64-asm"), "x86_64-asm");
    EXPECT_EQ(Pack::language("a.\u0661\u0662"), "\u0661\u0662");  // Arabic-Indic digits
}
