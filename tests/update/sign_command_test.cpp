#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

TestSupport::RunResult sign(const std::vector<std::string>& args) {
    return TestSupport::runProgram(TESSALY_SIGN_PATH, args);
}

// The vendor's key is for its owner's eyes only and is never replaced by a new one.
TEST(SignCommandTest, AKeyFromKeygenSignsABundleThatVerifiesAsItsVersion) {
    const TestSupport::TempDir dir;
    const std::string key = dir / "vendor.pem", bundle = dir / "Tessaly.app";
    UpdateFixtures::makeBundle(bundle);
    const auto made = sign({"keygen", key});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string pem = TestSupport::readFile(key);
    const auto again = sign({"keygen", key});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_CONTAINS(again.err, "(" + key + "): File exists");
    EXPECT_EQ(TestSupport::readFile(key), pem);

    const std::string hex = made.out.substr(0, 64);
    EXPECT_EQ(
        sign({"sign", "--key", key, "--team", "ABCDE12345", "--version", "1.2", bundle}).exitCode,
        0);
    EXPECT_EQ(sign({"verify", "--public-key", hex, "--team", "ABCDE12345", bundle}).out, "1.2\n");
    const auto other = sign({"verify", "--public-key", hex, "--team", "ZZZZZ99999", bundle});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_CONTAINS(other.err, "bad signature: signed by team ABCDE12345");
    EXPECT_EQ(
        sign({"sign", "--key", key, "--team", "abcde12345", "--version", "1", bundle}).exitCode, 2);
}

}  // namespace
