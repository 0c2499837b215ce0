// What the packer says of inputs it cannot use: each is named, and none is dropped in silence.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "test_support.h"

using namespace tessaly;

namespace {

TestSupport::RunResult pack(const TestSupport::TempDir& dir, std::vector<std::string> args) {
    return TestSupport::runProgram(TESSALY_PACK_PATH, args, {dir.path(), std::nullopt});
}

}  // namespace

TEST(InputsTest, MissingAndUnopenableInputsAreNamedAndFailTheRun) {
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir / "src/a.txt", "a\n");
    const auto r = pack(dir, {"--json", "src", "no/such"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_CONTAINS(r.err, "tessaly-pack: no/such: No such file or directory\n");
    // The missing input moves neither the root nor the title.
    const auto json = nlohmann::json::parse(r.err.substr(r.err.find('{')));
    EXPECT_EQ(json.at("title"), "src");
    EXPECT_EQ(json.at("fileCount"), 1);
    // Named once, also when nothing else is there to pack.
    const std::string alone = pack(dir, {"no/such"}).err;
    EXPECT_EQ(alone.find("no/such:"), alone.rfind("no/such:")) << alone;
}

TEST(InputsTest, AWorkingFolderBeyondPathMaxIsPackedByItsName) {
    TestSupport::TempDir dir;
    // Made step by step: the system opens no path this long at once.
    const std::string name(250, 'x');
    const std::string script = "for i in $(seq 20); do mkdir " + name + " && cd " + name +
                               "; done; mkdir target && cd target && echo a > a.txt && exec " +
                               TESSALY_PACK_PATH;
    // bash, whose cd goes by name where dash gives up beyond PATH_MAX.
    const auto r = TestSupport::runProgram("/bin/bash", {"-c", script}, {dir.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("# Context: target\n")) << r.out.substr(0, 80);
    EXPECT_CONTAINS(r.out, "- `a.txt`\n");
}
