#include <gtest/gtest.h>

#include "bundle_paths.h"

using namespace tessaly;

using Update::BundlePaths::isPlainRelative;
using Update::BundlePaths::linkStaysInside;

TEST(BundlePaths, PlainRelativePathsHaveOnlyRealNames) {
    EXPECT_TRUE(isPlainRelative("a"));
    EXPECT_TRUE(isPlainRelative("a/b c/.d/..e"));
    EXPECT_FALSE(isPlainRelative(""));
    EXPECT_FALSE(isPlainRelative("/a"));
    EXPECT_FALSE(isPlainRelative("a/"));
    EXPECT_FALSE(isPlainRelative("a//b"));
    EXPECT_FALSE(isPlainRelative("./a"));
    EXPECT_FALSE(isPlainRelative("a/.."));
    EXPECT_FALSE(isPlainRelative(std::string_view("a\0b", 3)));
}

TEST(BundlePaths, LinksThatStayInside) {
    EXPECT_TRUE(linkStaysInside("alias", "bin/tessaly"));
    EXPECT_TRUE(linkStaysInside("share/alias", "../bin/tessaly"));
    EXPECT_TRUE(linkStaysInside("a/b/c", "../../x"));
    EXPECT_TRUE(linkStaysInside("a/b", ".."));  // the bundle itself
    EXPECT_TRUE(linkStaysInside("a", "."));
    EXPECT_TRUE(linkStaysInside("a/b", "./../x//y/"));
}

TEST(BundlePaths, LinksThatCouldLeadOut) {
    EXPECT_FALSE(linkStaysInside("a", ""));
    EXPECT_FALSE(linkStaysInside("a", "/etc/passwd"));
    EXPECT_FALSE(linkStaysInside("a", ".."));
    EXPECT_FALSE(linkStaysInside("a/b", "../../x"));
    // "s" may itself be a link to "." or deeper: ".." after it is not known to stay inside.
    EXPECT_FALSE(linkStaysInside("a/b", "s/.."));
    EXPECT_FALSE(linkStaysInside("a/b/c", "../x/../y"));
    EXPECT_FALSE(linkStaysInside("a", std::string_view("x\0", 2)));
}
