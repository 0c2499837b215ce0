#include <gtest/gtest.h>

#include "launch.h"

using namespace tessaly;

namespace fs = std::filesystem;

namespace {

TEST(LaunchTest, PathsAreTakenAgainstTheWorkingFolderInTheOrderGiven) {
    const auto request = Launch::parse({"b.txt", "/abs/a", ".", "../up/c"}, "/home/u/proj");
    EXPECT_EQ(request.action, Launch::Action::run);
    EXPECT_EQ(request.paths, (std::vector<fs::path>{"/home/u/proj/b.txt", "/abs/a", "/home/u/proj",
                                                    "/home/u/up/c"}));
}

TEST(LaunchTest, OnlyALoneOptionIsAnOptionAndDoubleDashEndsThem) {
    EXPECT_EQ(Launch::parse({"--help"}, "/w").action, Launch::Action::help);
    EXPECT_EQ(Launch::parse({"--version"}, "/w").action, Launch::Action::version);
    EXPECT_EQ(Launch::parse({"--", "--help"}, "/w").paths, std::vector<fs::path>{"/w/--help"});
    EXPECT_EQ(Launch::parse({"a", "--version"}, "/w").paths,
              (std::vector<fs::path>{"/w/a", "/w/--version"}));
    EXPECT_TRUE(Launch::parse({}, "/w").paths.empty());
}

}  // namespace
