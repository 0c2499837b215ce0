#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "https_server.h"
#include "tessaly/bundle_signature.h"
#include "tessaly/self_updater.h"
#include "tessaly/swap_script.h"
#include "tessaly/update_error.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;

using TestSupport::HttpsServer;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;
using UpdateFixtures::endedProcess;
namespace fs = std::filesystem;

namespace {

const std::string team = "TESTTEAM01";

// Runs before main, while there is one thread.
[[maybe_unused]] const bool noProxies = [] {
    TestSupport::ignoreProxies();
    return true;
}();

// The installer's outcome as a short phrase, for tables of cases.
std::string outcome(const std::function<void()>& install) {
    try {
        install();
        return "installed";
    } catch (const UpdateFailure& failure) {
        return describe(failure.error());
    } catch (const TransportError&) {
        return "transport error";
    } catch (const std::system_error&) {
        return "file-system error";
    }
}

class SelfUpdaterTest : public testing::Test {
  protected:
    SelfUpdaterTest()
        : key(Update::PrivateKey::generate()), session(HttpSession::Options{server.caFile()}) {
        makeRelease(dest, "1.0");
        fs::create_directories(privateRoot);
        fs::permissions(privateRoot, fs::perms::owner_all);
    }

    // A bundle whose program, once relaunched, notes its version beside the test's files.
    void makeRelease(const fs::path& bundle, const std::string& version) {
        UpdateFixtures::makeBundle(bundle);
        writeFile(bundle / "bin/tessaly",
                  "#!/bin/sh\necho " + version + " >> '" + (dir / "relaunched").string() + "'\n");
        writeFile(bundle / "share/version.txt", version);
    }

    fs::path signedRelease(const std::string& name, const std::string& version,
                           const std::string& signedAs) {
        const fs::path bundle = dir / "releases" / std::to_string(++releases) / name;
        makeRelease(bundle, version);
        Update::signBundle(bundle, key, team, signedAs);
        return bundle;
    }

    // Serves `zip` at /Tessaly.zip and offers it as version 2.0.
    UpdateInfo serve(const fs::path& zip) {
        server.route("/Tessaly.zip", {.body = readFile(zip)});
        return {"2.0", server.url("/Tessaly.zip"), ""};
    }

    UpdateInfo serveBundles(const std::vector<fs::path>& bundles) {
        UpdateFixtures::zipFolders(bundles, dir / "update.zip");
        return serve(dir / "update.zip");
    }

    SelfUpdater::Installation where() {
        return {dest, privateRoot, &session, Update::Trust{key.publicKey(), team}, pid};
    }

    fs::path work() const { return privateRoot / ("orvane-update-" + std::to_string(pid)); }
    fs::path script() const {
        return privateRoot / ("orvane-update-" + std::to_string(pid) + ".sh");
    }

    // What the relaunched application noted, once the swap script has run.
    std::string relaunched() { return UpdateFixtures::lineWhenWritten(dir / "relaunched"); }

    TempDir dir;
    HttpsServer server;
    Update::PrivateKey key;
    HttpSession session;
    const fs::path dest = dir / "My Apps" / "Tessaly.app";
    const fs::path privateRoot = dir / "private";
    const pid_t pid = endedProcess();
    int releases = 0;
};

TEST_F(SelfUpdaterTest, ARedirectToHttpsIsFollowedAndTheVerifiedBundleIsSwappedIn) {
    UpdateInfo update = serveBundles({signedRelease("Tessaly 2.0.app", "2.0", "2.0")});
    server.route("/latest", {.status = 302, .headers = {{"Location", update.downloadURL}}});
    update.downloadURL = server.url("/latest");

    SelfUpdater::install(update, where());

    EXPECT_TRUE(fs::is_regular_file(work() / "update.zip"));
    EXPECT_TRUE(fs::is_directory(work() / "unpacked" / "Tessaly 2.0.app"));
    EXPECT_EQ(readFile(script()), SwapScript::text(pid));
    // The script waits for nobody, so it swaps at once: the new bundle under the old name.
    EXPECT_EQ(relaunched(), "2.0\n");
    EXPECT_EQ(readFile(dest / "share/version.txt"), "2.0");
    EXPECT_NO_THROW(SelfUpdater::verifySignature(dest, where().trust));
    EXPECT_FALSE(fs::exists(dest.parent_path() / "Tessaly 2.0.app"));
}

TEST_F(SelfUpdaterTest, WhatComesDownDecidesTheFailure) {
    const fs::path release = signedRelease("Tessaly.app", "2.0", "2.0");
    writeFile(dir / "not.zip", "<html>Not a zip</html>");
    fs::create_directories(dir / "nested");
    fs::copy(release, dir / "nested" / "Tessaly.app",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);

    UpdateInfo missing{"2.0", server.url("/gone.zip"), ""};
    EXPECT_EQ(outcome([&] { SelfUpdater::install(missing, where()); }), "download failed");

    UpdateInfo notZip = serve(dir / "not.zip");
    EXPECT_EQ(outcome([&] { SelfUpdater::install(notZip, where()); }), "unpacking failed");

    UpdateFixtures::zipFolder(dir / "nested", dir / "nested.zip");
    UpdateInfo deep = serve(dir / "nested.zip");
    EXPECT_EQ(outcome([&] { SelfUpdater::install(deep, where()); }),
              "no application in the update");

    server.route("/half.zip", {.body = std::string(100'000, 'z'), .closeAfterBytes = 1000});
    UpdateInfo half{"2.0", server.url("/half.zip"), ""};
    EXPECT_EQ(outcome([&] { SelfUpdater::install(half, where()); }), "transport error");
    EXPECT_FALSE(fs::exists(work() / "update.zip"));

    HttpSession capped(HttpSession::Options{server.caFile(), 1 << 20});
    server.route("/huge.zip", {.generatedBytes = std::uint64_t{64} << 20});
    UpdateInfo huge{"2.0", server.url("/huge.zip"), ""};
    auto installation = where();
    installation.session = &capped;
    EXPECT_EQ(outcome([&] { SelfUpdater::install(huge, installation); }), "download failed");

    // Nothing reached the swap, and the installed application is as it was.
    EXPECT_FALSE(fs::exists(script()));
    EXPECT_EQ(readFile(dest / "share/version.txt"), "1.0");
}

TEST_F(SelfUpdaterTest, OfTwoBundlesTheFirstByNameIsInstalled) {
    const fs::path second = signedRelease("B.app", "2.0", "2.0");
    const fs::path first = dir / "other" / "A.app";
    makeRelease(first, "2.0");
    writeFile(first / "share/version.txt", "2.0 from A");
    Update::signBundle(first, key, team, "2.0");
    SelfUpdater::install(serveBundles({second, first}), where());
    EXPECT_EQ(relaunched(), "2.0\n");
    EXPECT_EQ(readFile(dest / "share/version.txt"), "2.0 from A");
}

TEST_F(SelfUpdaterTest, BundlesNotSignedAsOfferedAreRefusedAsBadSignatures) {
    const Update::PrivateKey stranger = Update::PrivateKey::generate();
    struct Case {
        const char* what;
        std::function<fs::path()> make;
    };
    const std::vector<Case> cases{
        {"another key",
         [&] {
             fs::path b = dir / "k" / "Tessaly.app";
             makeRelease(b, "2.0");
             Update::signBundle(b, stranger, team, "2.0");
             return b;
         }},
        {"another team",
         [&] {
             fs::path b = dir / "t" / "Tessaly.app";
             makeRelease(b, "2.0");
             Update::signBundle(b, key, "OTHERTEAM1", "2.0");
             return b;
         }},
        {"unsigned",
         [&] {
             fs::path b = dir / "u" / "Tessaly.app";
             makeRelease(b, "2.0");
             return b;
         }},
        {"changed after signing",
         [&] {
             fs::path b = signedRelease("Tessaly.app", "2.0", "2.0");
             writeFile(b / "bin/tessaly", "#!/bin/sh\nrm -rf ~\n");
             return b;
         }},
        {"an older release offered as newer",
         [&] { return signedRelease("Tessaly.app", "1.9", "1.9"); }},
    };
    for (const Case& c : cases) {
        const UpdateInfo update = serveBundles({c.make()});
        EXPECT_EQ(outcome([&] { SelfUpdater::install(update, where()); }), "bad signature")
            << c.what;
        EXPECT_FALSE(fs::exists(script())) << c.what;
    }
    EXPECT_EQ(readFile(dest / "share/version.txt"), "1.0");
}

TEST_F(SelfUpdaterTest, AHostileArchiveWritesNothingOutsideTheWorkFolder) {
    UpdateFixtures::ZipWriter zip(dir / "hostile.zip");
    zip.file("../escaped", "x").file("../../escaped", "x").file("Tessaly.app/bin/tessaly", "x");
    zip.close();
    EXPECT_EQ(outcome([&] { SelfUpdater::install(serve(dir / "hostile.zip"), where()); }),
              "unpacking failed");
    EXPECT_FALSE(fs::exists(privateRoot / "escaped"));
    EXPECT_FALSE(fs::exists(dir / "escaped"));
    EXPECT_FALSE(fs::exists(work() / "escaped"));

    // A link leading out of a signed bundle is refused already while unpacking.
    const fs::path linked = signedRelease("Tessaly.app", "2.0", "2.0");
    fs::create_symlink("../../../../../etc/passwd", linked / "share/escape");
    EXPECT_EQ(outcome([&] { SelfUpdater::install(serveBundles({linked}), where()); }),
              "unpacking failed");
    EXPECT_FALSE(fs::exists(script()));
}

TEST_F(SelfUpdaterTest, EachInstallationStartsFromAFreshWorkFolder) {
    writeFile(work() / "left over", "from an earlier run");
    UpdateInfo missing{"2.0", server.url("/gone.zip"), ""};
    EXPECT_EQ(outcome([&] { SelfUpdater::install(missing, where()); }), "download failed");
    EXPECT_FALSE(fs::exists(work() / "left over"));
    EXPECT_TRUE(fs::is_directory(work()));
}

TEST_F(SelfUpdaterTest, LocationsThatCannotBeReplacedAreRefusedBeforeAnyDownload) {
    const UpdateInfo update = serveBundles({signedRelease("Tessaly.app", "2.0", "2.0")});
    auto notABundle = where();
    notABundle.dest = fs::path();
    EXPECT_EQ(outcome([&] { SelfUpdater::install(update, notABundle); }),
              "the application's folder is read-only");

    auto translocated = where();
    translocated.dest = dir / "AppTranslocation" / "X" / "Tessaly.app";
    fs::create_directories(translocated.dest);
    EXPECT_EQ(outcome([&] { SelfUpdater::install(update, translocated); }),
              "the application's folder is read-only");

    EXPECT_TRUE(server.requests().empty());
    EXPECT_FALSE(fs::exists(work()));
}

// As root every folder is writable, so an ordinary user tries; no server runs in this
// process, since forking next to its threads could hang the child.
TEST(SelfUpdaterLocation, AFolderTheUserCannotWriteIsRefusedBeforeAnyDownload) {
    TempDir dir;
    const fs::path apps = dir / "Applications";
    fs::create_directories(apps / "Tessaly.app" / "bin");
    fs::permissions(apps, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    auto result = TestSupport::runInChild(
        [&]() -> std::string {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                return "cannot drop privileges";
            HttpSession session;
            SelfUpdater::Installation where{apps / "Tessaly.app", dir / "work", &session, {}, 1};
            // Nothing listens on port 1: a download would fail as a transport error.
            return outcome([&] {
                SelfUpdater::install({"2.0", "https://127.0.0.1:1/x.zip", ""}, where);
            });
        },
        std::chrono::seconds(20));
    fs::permissions(apps, fs::perms::owner_all);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.output, "the application's folder is read-only");
    EXPECT_FALSE(fs::exists(dir / "work"));
}

TEST(SelfUpdaterLocation, OnlyAProgramAtBinTessalyInsideAnAppFolderHasABundle) {
    EXPECT_EQ(SelfUpdater::bundleOf("/home/u/Applications/Tessaly.app/bin/tessaly"),
              "/home/u/Applications/Tessaly.app");
    EXPECT_EQ(SelfUpdater::bundleOf("/opt/My Tools/Tessaly Beta.app/bin/tessaly"),
              "/opt/My Tools/Tessaly Beta.app");
    EXPECT_EQ(SelfUpdater::bundleOf("/usr/bin/tessaly"), "");
    EXPECT_EQ(SelfUpdater::bundleOf("/usr/local/bin/tessaly"), "");
    EXPECT_EQ(SelfUpdater::bundleOf("/x/Tessaly.app/tessaly"), "");
    EXPECT_EQ(SelfUpdater::bundleOf("/x/Tessaly.app/bin/other"), "");
    EXPECT_EQ(SelfUpdater::bundleOf("/x/.app/bin/tessaly"), "");
}

}  // namespace
