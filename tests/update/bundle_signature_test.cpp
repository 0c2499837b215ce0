#include "tessaly/bundle_signature.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "tessaly/scan_bundle.h"
#include "tessaly/update_error.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;
namespace fs = std::filesystem;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const std::string team = "ABCDE12345";
const Update::PrivateKey key = Update::PrivateKey::generate();

class BundleSignatureTest : public testing::Test {
  protected:
    std::string verify() { return Update::verifyBundle(b_, {key.publicKey(), team}); }
    void relink(const std::string& path, const fs::path& target) {
        fs::remove(b_ / path);
        fs::create_symlink(target, b_ / path);
    }

    TestSupport::TempDir dir_;
    const fs::path b_ = dir_ / "Tessaly.app";
};

// Each change on its own makes the bundle a bad signature, saying why. The bundle has more
// than one piece of hashing, a name that needs escaping and a link to a folder inside.
TEST_F(BundleSignatureTest, AnyChangeAfterSigningIsRefused) {
    const auto other = Update::PrivateKey::generate();
    const auto rematched = [&] {  // the list made to match a changed file
        const std::string text = readFile(b_ / "SIGNATURE");
        writeFile(b_ / "share/doc/README", "Evil.\n");
        const std::string list = Update::writeList(Update::scanBundle(b_, team, "1.2.0"));
        writeFile(b_ / "SIGNATURE", list + text.substr(text.rfind("signature ")));
    };
    const std::pair<std::string, std::function<void()>> cases[] = {
        {"not signed: no", [&] { fs::remove(b_ / "SIGNATURE"); }},
        {"not signed by the trusted key", [&] { Update::signBundle(b_, other, team, "1"); }},
        {"signed by team ABCDE1234, not", [&] { Update::signBundle(b_, key, "ABCDE1234", "1"); }},
        {"not signed by the trusted key", rematched},
        {"malformed",
         [&] { fs::resize_file(b_ / "SIGNATURE", fs::file_size(b_ / "SIGNATURE") - 1); }},
        {"lib/big: content changed",
         [&] { writeFile(b_ / "lib/big", std::string(299'999, 'x') + "y"); }},
        {"not signed: " + (b_ / "share/empty/new").string(),
         [&] { fs::create_directory(b_ / "share/empty/new"); }},
        {"missing since signing: " + (b_ / "share/doc/README").string(),
         [&] { fs::remove(b_ / "share/doc/README"); }},
        {"bin/tessaly: no longer executable", [&] { ::chmod((b_ / "bin/tessaly").c_str(), 0644); }},
        {"share/alias points to doc/README, signed as ../bin/tessaly",
         [&] { relink("share/alias", "doc/README"); }},
        {"share/version.txt is a link, signed as a file",
         [&] { relink("share/version.txt", "doc/README"); }},
        {"share/up -> ../.. could lead out of the bundle", [&] { relink("share/up", "../.."); }},
        {"share/pipe is a fifo", [&] { ::mkfifo((b_ / "share/pipe").c_str(), 0644); }},
        {"SIGNATURE is a link",
         [&] { fs::rename(b_ / "SIGNATURE", dir_ / "S"), relink("SIGNATURE", dir_ / "S"); }},
        {"not a folder",
         [&] { fs::rename(b_, dir_ / "Real.app"), fs::create_symlink(dir_ / "Real.app", b_); }}};
    for (const auto& [reason, change] : cases) {
        fs::remove_all(b_);
        UpdateFixtures::makeBundle(b_);
        writeFile(b_ / "lib/big", std::string(300'000, 'x'));
        writeFile(b_ / "share/new\nline 100%\xff", "odd name");
        fs::create_symlink("../lib", b_ / "share/lib");
        Update::signBundle(b_, key, team, "1.2.0");
        ::chmod((b_ / "share/doc/README").c_str(), 0600);  // only the owner's execute bit counts
        EXPECT_EQ(verify(), "1.2.0");
        change();
        try {
            ADD_FAILURE() << "verified as " << verify();
        } catch (const UpdateFailure& e) {
            EXPECT_EQ(e.error(), UpdateError::badSignature);
            EXPECT_CONTAINS(e.detail(), reason);
        }
        fs::remove_all(dir_ / "Real.app");
    }
}

TEST_F(BundleSignatureTest, TheVendorsKeyFileIsItsOwnersOnlyAndNeverReplaced) {
    Update::writePrivateKeyFile(dir_ / "key.pem", key.pem());
    EXPECT_EQ(fs::status(dir_ / "key.pem").permissions(), fs::perms(0600));
    EXPECT_THROW(Update::writePrivateKeyFile(dir_ / "key.pem", "other"), std::system_error);
    EXPECT_EQ(Update::readPrivateKey(dir_ / "key.pem").publicKey(), key.publicKey());
}

TEST_F(BundleSignatureTest, TheBuiltTrustIsTheKeyAndTeamConfigured) {
    const Update::Trust trust = Update::builtTrust();
    EXPECT_EQ(Update::publicKeyHex(trust.publicKey), TESSALY_EXPECTED_PUBLIC_KEY);
    EXPECT_EQ(trust.team, TESSALY_EXPECTED_TEAM_ID);
}

}  // namespace
