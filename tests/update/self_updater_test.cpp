#include "tessaly/self_updater.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "https_server.h"
#include "tessaly/bundle_signature.h"
#include "tessaly/update_error.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using TestSupport::readFile;

namespace {

const std::string team = "TESTTEAM01";

// The server is on the loopback address: no proxy may come in between. Runs before main.
[[maybe_unused]] const bool noProxies = (TestSupport::ignoreProxies(), true);

// The installer's outcome as a short phrase.
std::string outcome(const std::function<void()>& install) {
    try {
        install();
        return "installed";
    } catch (const UpdateFailure& failure) {
        return describe(failure.error());
    } catch (const TransportError&) {
        return "transport error";
    }
}

// In a mount namespace of the calling process's own: `folder` mounted over itself read-only.
// Empty when done, else why not.
std::string mountReadOnly(const fs::path& folder) {
    struct statvfs volume {};
    ::statvfs(folder.c_str(), &volume);
    const unsigned long locked = (volume.f_flag & ST_NOSUID ? MS_NOSUID : 0) |
                                 (volume.f_flag & ST_NODEV ? MS_NODEV : 0) |
                                 (volume.f_flag & ST_NOEXEC ? MS_NOEXEC : 0);
    if (::unshare(::geteuid() == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | locked,
                nullptr) != 0)
        return std::strerror(errno);
    return "";
}

class SelfUpdaterTest : public testing::Test {
  protected:
    static TestSupport::HttpsServer& server() {
        static TestSupport::HttpsServer shared;  // one for all: starting one takes a while
        return shared;
    }

    SelfUpdaterTest() {
        UpdateFixtures::makeBundle(dest_, "1.0", relaunched_);
        fs::create_directories(root_);
    }

    // A release bundle in a folder of its own, signed as `signedAs` by `signer` and `by`.
    fs::path release(const std::string& version, const std::string& signedAs,
                     const Update::PrivateKey* signer, const std::string& by = team) {
        const fs::path bundle = dir_ / "releases" / std::to_string(++serial_) / "Tessaly.app";
        UpdateFixtures::makeBundle(bundle, version, relaunched_);
        if (signer) Update::signBundle(bundle, *signer, by, signedAs);
        return bundle;
    }

    // Serves `reply` at a path of its own, offered as version 2.0.
    UpdateInfo offer(const TestSupport::HttpsServer::Reply& reply) {
        const std::string path = "/" + std::to_string(++serial_) + ".zip";
        server().route(path, reply);
        return {"2.0", server().url(path), ""};
    }
    UpdateInfo offerBundles(const std::vector<fs::path>& folders) {
        UpdateFixtures::zipFolders(folders, dir_ / "update.zip");
        return offer({.body = readFile(dir_ / "update.zip")});
    }

    SelfUpdater::Installation where(const HttpSession& session) const {
        return {dest_, root_, &session, {key_.publicKey(), team}, pid_};
    }
    fs::path work() const { return root_ / ("orvane-update-" + std::to_string(pid_)); }

    TestSupport::TempDir dir_;
    const fs::path dest_ = dir_ / "My Apps/Tessaly.app";
    const fs::path root_ = dir_ / "private";
    const fs::path relaunched_ = dir_ / "relaunched";
    const Update::PrivateKey key_ = Update::PrivateKey::generate();
    const HttpSession session_{{.caFile = server().caFile()}};
    const pid_t pid_ = UpdateFixtures::endedProcess();  // the swap need not wait
    int serial_ = 0;
};

// Leftovers of an earlier attempt do not get in the way.
TEST_F(SelfUpdaterTest, AVerifiedBundleReachedThroughAnHttpsRedirectIsSwappedInAndReopened) {
    const UpdateInfo update = offerBundles(std::vector{release("2.0", "2.0", &key_)});
    server().route("/latest.zip", {.status = 302, .location = update.downloadURL});
    TestSupport::writeFile(work() / "update.zip.part", "left over");
    fs::create_directories(work() / "unpacked");
    SelfUpdater::install({"2.0", server().url("/latest.zip"), ""}, where(session_));
    EXPECT_EQ(UpdateFixtures::linesWhenWritten(relaunched_), "2.0\n");
    EXPECT_EQ(Update::verifyBundle(dest_, {key_.publicKey(), team}), "2.0");
    EXPECT_EQ(TestSupport::listNames(dest_.parent_path()), std::vector<std::string>{"Tessaly.app"});
}

// Each fails before the swap, leaving the installed application as it was.
TEST_F(SelfUpdaterTest, AnUpdateThatIsNotWhatWasOfferedFailsAsItsFault) {
    const Update::PrivateKey stranger = Update::PrivateKey::generate();
    const HttpSession capped({.caFile = server().caFile(), .maxDownloadBytes = 1 << 20});
    const fs::path escaping = release("2.0", "2.0", &key_);
    fs::create_symlink("../../../../../etc/passwd", escaping / "share/escape");
    const fs::path changed = release("2.0", "2.0", &key_);
    TestSupport::writeFile(changed / "bin/tessaly", "#!/bin/sh\nrm -rf ~\n");
    UpdateFixtures::writeZip(dir_ / "hostile.zip", {{"../escaped", "x"}});
    const struct {
        const char* outcome;
        UpdateInfo update;
        const HttpSession* session = nullptr;  // none: one that trusts the server
    } cases[] = {
        {"download failed", offer({.status = 404})},
        {"download failed", offer({.generatedBytes = 64 << 20, .sendLength = false}), &capped},
        {"transport error", offer({.generatedBytes = 100'000, .cutAfterBytes = 1000})},
        {"unpacking failed", offer({.body = "<html>Not a zip</html>"})},
        {"unpacking failed", offer({.body = readFile(dir_ / "hostile.zip")})},
        {"unpacking failed", offerBundles(std::vector{escaping})},
        {"no application in the update", offerBundles(std::vector{changed.parent_path()})},
        {"bad signature", offerBundles(std::vector{release("2.0", "2.0", nullptr)})},
        {"bad signature", offerBundles(std::vector{release("2.0", "2.0", &stranger)})},
        {"bad signature", offerBundles(std::vector{release("2.0", "2.0", &key_, "OTHERTEAM1")})},
        {"bad signature", offerBundles(std::vector{changed})},
        {"bad signature", offerBundles(std::vector{release("1.9", "1.9", &key_)})},  // older, as 2.0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.update.downloadURL);
        EXPECT_EQ(outcome([&] {
                      SelfUpdater::install(c.update, where(c.session ? *c.session : session_));
                  }),
                  c.outcome);
    }
    EXPECT_EQ(TestSupport::listNames(root_), std::vector<std::string>{work().filename()});
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "1.0");
    EXPECT_FALSE(fs::exists(dir_ / "escaped"));
}

// Refused before any download: nothing listens where the update is offered, so a download
// would fail as a transport error. Each runs in a child, which may give up root.
TEST_F(SelfUpdaterTest, ALocationThatCannotBeReplacedIsRefusedBeforeAnyDownload) {
    const fs::path apps = dest_.parent_path();
    const struct {
        fs::path dest;
        std::function<std::string()> prepare;
    } cases[] = {
        {{}, [] { return ""; }},
        {dir_ / "AppTranslocation/X/Tessaly.app", [] { return ""; }},
        {dest_, [&] { return mountReadOnly(dest_); }},
        {dest_,
         [&] {
             fs::permissions(apps, fs::perms::owner_read | fs::perms::owner_exec);
             return UpdateFixtures::dropRoot() ? "" : "cannot give up root";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dest);
        const auto child = TestSupport::runInChild(
            [&] {
                if (const std::string why = c.prepare(); !why.empty()) return "skipped: " + why;
                const HttpSession session;
                const SelfUpdater::Installation where{c.dest, root_, &session, {}, 1};
                return outcome([&] {
                    SelfUpdater::install({"2.0", "https://127.0.0.1:1/Tessaly.zip", ""}, where);
                });
            },
            20s);
        fs::permissions(apps, fs::perms::owner_all);
        if (child.output.starts_with("skipped"))
            std::cout << "[ SKIPPED  ] " << child.output << "\n";
        else
            EXPECT_EQ(child.output, "the application's folder is read-only");
    }
    EXPECT_TRUE(TestSupport::listNames(root_).empty());
}

}  // namespace
