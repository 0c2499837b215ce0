#include "tessaly/bundle_signature.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
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

// Keys are slow to make: one each for the whole suite.
const Update::PrivateKey& key(int which = 0) {
    static const Update::PrivateKey keys[] = {Update::PrivateKey::generate(),
                                              Update::PrivateKey::generate()};
    return keys[which];
}

class BundleSignatureTest : public testing::Test {
  protected:
    BundleSignatureTest() { remake(); }
    void remake() {  // beyond one piece of hashing, names that need escaping, a folder link
        fs::remove_all(bundle_);
        UpdateFixtures::makeBundle(bundle_);
        writeFile(bundle_ / "lib/big", std::string(300'000, 'x'));
        writeFile(bundle_ / "share/new\nline 100%\xff", "odd name");
        fs::create_symlink("../lib", bundle_ / "share/lib");
    }
    void sign(const std::string& signer = team, int which = 0) {
        Update::signBundle(bundle_, key(which), signer, "1.2.0");
    }
    std::string verify() { return Update::verifyBundle(bundle_, {key().publicKey(), team}); }
    void replaceLink(const std::string& path, const std::string& target) {
        fs::remove(bundle_ / path);
        fs::create_symlink(target, bundle_ / path);
    }
    void signLinkLeadingOut() {  // what only a leaked key could sign
        Update::SignedList list = Update::scanBundle(bundle_, team, "1.2.0");
        list.entries.push_back(
            {.path = "share/passwd", .kind = Update::EntryKind::link, .linkTarget = "/etc/passwd"});
        std::ranges::sort(list.entries, {}, &Update::SignedEntry::path);
        const std::string text = Update::writeList(list);
        std::string hex;
        for (const auto b : key().sign(text))
            hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
        writeFile(bundle_ / "SIGNATURE", text + "signature " + hex + "\n");
        fs::create_symlink("/etc/passwd", bundle_ / "share/passwd");
    }

    TestSupport::TempDir dir_;
    fs::path bundle_ = dir_ / "Tessaly.app";
};

TEST_F(BundleSignatureTest, ASignedBundleVerifiesAsItsVersionWhateverItsOtherPermissionBits) {
    sign();
    ::chmod((bundle_ / "share/doc/README").c_str(), 0600);
    EXPECT_EQ(verify(), "1.2.0");
    EXPECT_CONTAINS(readFile(bundle_ / "SIGNATURE"), "link ../lib share/lib\n");
}

// Each tamper on its own: the bundle is refused as a bad signature, saying why.
TEST_F(BundleSignatureTest, EveryChangeAfterSigningIsRefused) {
    const fs::path b = bundle_;
    const struct {
        std::string reason;
        std::function<void()> tamper;
    } cases[] = {
        {"not signed: no", [&] { fs::remove(b / "SIGNATURE"); }},
        {"not signed by the trusted key", [&] { sign(team, 1); }},
        {"signed by team ABCDE12346, not", [&] { sign("ABCDE12346"); }},
        {"signed by team ABCDE1234, not", [&] { sign("ABCDE1234"); }},
        {"not signed by the trusted key",
         [&] {
             std::string text = readFile(b / "SIGNATURE");
             text[text.size() - 2] = text[text.size() - 2] == '0' ? '1' : '0';
             writeFile(b / "SIGNATURE", text);
         }},
        {"not signed by the trusted key",
         [&] {  // the list made to match a changed file
             const std::string text = readFile(b / "SIGNATURE");
             writeFile(b / "share/doc/README", "Evil.\n");
             writeFile(b / "SIGNATURE", Update::writeList(Update::scanBundle(b, team, "1.2.0")) +
                                            text.substr(text.rfind("signature ")));
         }},
        {"malformed",
         [&] { fs::resize_file(b / "SIGNATURE", fs::file_size(b / "SIGNATURE") - 1); }},
        {"bin/tessaly: content changed", [&] { writeFile(b / "bin/tessaly", "#!/bin/sh\n"); }},
        {"lib/big: content changed",
         [&] { writeFile(b / "lib/big", std::string(299'999, 'x') + "y"); }},
        {"line 100%\xff: content changed", [&] { writeFile(b / "share/new\nline 100%\xff", "x"); }},
        {"not signed: " + (b / "bin/helper").string(), [&] { writeFile(b / "bin/helper", ""); }},
        {"missing since signing: " + (b / "share/doc/README").string(),
         [&] { fs::remove(b / "share/doc/README"); }},
        {"not signed: " + (b / "plugins").string(), [&] { fs::create_directory(b / "plugins"); }},
        {"missing since signing: " + (b / "share/empty").string(),
         [&] { fs::remove(b / "share/empty"); }},
        {"bin/tessaly: no longer executable", [&] { ::chmod((b / "bin/tessaly").c_str(), 0644); }},
        {"README: made executable", [&] { ::chmod((b / "share/doc/README").c_str(), 0744); }},
        {"share/alias points to doc/README, signed as ../bin/tessaly",
         [&] { replaceLink("share/alias", "doc/README"); }},
        {"share/version.txt is a link, signed as a file",
         [&] { replaceLink("share/version.txt", "doc/README"); }},
        {"share/lib is a folder, signed as a link",
         [&] {
             fs::remove(b / "share/lib");
             fs::create_directory(b / "share/lib");
         }},
        {"could lead out of the bundle",
         [&] { fs::create_symlink("/etc/passwd", b / "share/passwd"); }},
        {"could lead out of the bundle", [&] { fs::create_symlink("../../..", b / "share/up"); }},
        {"share/passwd -> /etc/passwd could lead out", [&] { signLinkLeadingOut(); }},
        {"share/pipe is a fifo", [&] { ::mkfifo((b / "share/pipe").c_str(), 0644); }},
        {"SIGNATURE is a link",
         [&] {
             fs::rename(b / "SIGNATURE", dir_ / "SIGNATURE");
             fs::create_symlink(dir_ / "SIGNATURE", b / "SIGNATURE");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        remake();
        sign();
        c.tamper();
        try {
            ADD_FAILURE() << "verified as " << verify();
        } catch (const UpdateFailure& e) {
            EXPECT_EQ(e.error(), UpdateError::badSignature);
            EXPECT_CONTAINS(e.detail(), c.reason);
        }
    }
}

TEST_F(BundleSignatureTest, ABundleThatIsALinkIsNotAFolder) {
    sign();
    fs::create_symlink(bundle_, dir_ / "Alias.app");
    try {
        ADD_FAILURE() << Update::verifyBundle(dir_ / "Alias.app", {key().publicKey(), team});
    } catch (const UpdateFailure& e) {
        EXPECT_CONTAINS(e.detail(), "not a folder");
    }
}

// Signing refuses what could not be verified, and never writes through a link.
TEST_F(BundleSignatureTest, WhatCannotBeVerifiedIsNotSigned) {
    writeFile(dir_ / "victim", "keep");
    const std::function<void()> plants[] = {
        [&] { fs::create_symlink("/usr/bin/env", bundle_ / "bin/env"); },
        [&] { fs::create_symlink("../../outside", bundle_ / "bin/up"); },
        [&] { ::mkfifo((bundle_ / "lib/pipe").c_str(), 0644); },
        [&] { fs::create_symlink(dir_ / "victim", bundle_ / "SIGNATURE"); },
    };
    for (const auto& plant : plants) {
        remake();
        plant();
        EXPECT_THROW(sign(), Update::UnsignableBundle);
        EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(bundle_ / "SIGNATURE")));
    }
    EXPECT_EQ(readFile(dir_ / "victim"), "keep");
}

TEST_F(BundleSignatureTest, TheBuiltTrustIsTheKeyAndTeamConfigured) {
    const Update::Trust trust = Update::builtTrust();
    EXPECT_EQ(Update::publicKeyHex(trust.publicKey), TESSALY_EXPECTED_PUBLIC_KEY);
    EXPECT_EQ(trust.team, TESSALY_EXPECTED_TEAM_ID);
}

}  // namespace
