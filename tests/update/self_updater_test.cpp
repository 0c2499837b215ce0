#include "tessaly/self_updater.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <limits>
#include <thread>

#include "https_server.h"
#include "tessaly/atomic_file.h"
#include "tessaly/bundle_signature.h"
#include "tessaly/swap_script.h"
#include "tessaly/update_error.h"
#include "update_fixtures.h"

using namespace tessaly;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using TestSupport::listNames;
using TestSupport::readFile;

namespace {

constexpr pid_t ended = std::numeric_limits<pid_t>::max();  // no process has it: none to wait for

// What the relaunched bundles wrote to `note`, once it ends a line (within ten seconds).
std::string relaunched(const fs::path& note) {
    for (int i = 0; i < 1000; ++i) {  // the shell makes the file before it writes the line
        if (std::string lines = readFile(note); lines.ends_with('\n')) return lines;
        std::this_thread::sleep_for(10ms);
    }
    return "(not written)";
}

class SelfUpdaterTest : public testing::Test {
  protected:
    SelfUpdaterTest() { UpdateFixtures::makeBundle(dest_, "1.0", note_); }

    // A release of `version`, signed as `signedAs` (unsigned when empty), offered as 2.0.
    UpdateInfo offer(const std::string& version, const std::string& signedAs) {
        fs::remove_all(release_);
        UpdateFixtures::makeBundle(release_, version, note_);
        if (!signedAs.empty()) Update::signBundle(release_, key_, "TESTTEAM01", signedAs);
        UpdateFixtures::zipFolder(release_, dir_ / "update.zip");
        return offer({.body = readFile(dir_ / "update.zip")});
    }
    UpdateInfo offer(const TestSupport::HttpsServer::Reply& reply) {
        return {"2.0", server_.serve("/" + std::to_string(++serial_) + ".zip", reply), ""};
    }
    SelfUpdater::Installation where(const HttpSession& session, pid_t pid) const {
        return {dest_, dir_ / "private", &session, {key_.publicKey(), "TESTTEAM01"}, pid};
    }
    // Runs `body` in a child as an ordinary user who owns the test's files, since root ignores
    // permission bits; `first` runs before root is given up, and may say why to skip.
    std::string asUser(
        const std::function<std::string()>& body,
        const std::function<std::string()>& first = [] { return ""; }) {
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
            ::lchown(entry.path().c_str(), 65534, 65534);
        ::lchown(dir_.path().c_str(), 65534, 65534);
        const auto child = [&]() -> std::string {
            if (const std::string why = first(); !why.empty()) return "skipped: " + why;
            if (::geteuid() == 0 && (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534)))
                return "cannot give up root";
            return body();
        };
        return TestSupport::runInChild(child, 20s).output;
    }
    static std::string outcome(const UpdateInfo& update, const SelfUpdater::Installation& where) {
        try {
            SelfUpdater::install(update, where);
            return "installed";
        } catch (const UpdateFailure& failure) {
            return describe(failure.error());
        } catch (const TransportError&) {
            return "transport error";
        }
    }

    TestSupport::HttpsServer& server_ = TestSupport::HttpsServer::shared();
    const HttpSession session_{{.caFile = server_.caFile()}};
    const Update::PrivateKey key_ = Update::PrivateKey::generate();
    TestSupport::TempDir dir_;
    const fs::path apps_ = dir_ / "My Apps", dest_ = apps_ / "Tessaly.app";
    const fs::path release_ = dir_ / "release/Tessaly 2.app";
    const fs::path note_ = dir_ / "relaunched";  // what each relaunched bundle notes
    int serial_ = 0;
};

// Leftovers of an earlier attempt do not get in the way; the swap waits for the app to end.
TEST_F(SelfUpdaterTest, AVerifiedBundleReachedThroughAnHttpsRedirectIsSwappedInAndReopened) {
    const pid_t app = ::fork();  // a program of its own: it must not hold the server's input
    if (app == 0) ::execl("/bin/sh", "sh", "-c", "exec sleep 60 >/dev/null 2>&1", nullptr);
    TestSupport::writeFile(dir_ / ("private/orvane-update-" + std::to_string(app)) / "unpacked/x",
                           "");
    const std::string zip = offer("2.0", "2.0").downloadURL;
    SelfUpdater::install({"2.0", server_.serve("/latest.zip", {301, "", zip}), ""},
                         where(session_, app));
    std::this_thread::sleep_for(300ms);  // the script looks every 0.2 s
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "1.0") << "swapped while the app ran";
    ::kill(app, SIGKILL);
    ::waitpid(app, nullptr, 0);
    EXPECT_EQ(relaunched(note_), "2.0\n");
    EXPECT_EQ(Update::verifyBundle(dest_, {key_.publicKey(), "TESTTEAM01"}), "2.0");
    EXPECT_EQ(listNames(apps_), std::vector<std::string>{"Tessaly.app"});
}

// Each fails before the swap, as its fault, and leaves the installed application as it was.
TEST_F(SelfUpdaterTest, AnUpdateThatIsNotWhatWasOfferedFails) {
    const HttpSession capped({.caFile = server_.caFile(), .maxDownloadBytes = 1 << 20});
    UpdateFixtures::writeZip(dir_ / "no-app.zip", {{"Tessaly/bin/tessaly", "x"}});
    const struct {
        const char* outcome;
        UpdateInfo update;
        const HttpSession* session = nullptr;
    } cases[] = {
        {"download failed", offer({.status = 404})},
        {"download failed", offer({.generatedBytes = 64 << 20, .sendLength = false}), &capped},
        {"transport error", offer({.generatedBytes = 1000, .cutAfterBytes = 100})},
        {"unpacking failed", offer({.body = "<html>Not a zip</html>"})},
        {"no application in the update", offer({.body = readFile(dir_ / "no-app.zip")})},
        {"bad signature", offer("2.0", "")},
        {"bad signature", offer("1.9", "1.9")}};  // an older release offered as 2.0
    for (const auto& c : cases)
        EXPECT_EQ(outcome(c.update, where(c.session ? *c.session : session_, ended)), c.outcome);
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "1.0");
    EXPECT_FALSE(fs::exists(note_));
}

// What an earlier attempt left and this user cannot remove is not reused, nor worked around.
TEST_F(SelfUpdaterTest, AStaleWorkFolderThatCannotBeRemovedFailsTheInstallation) {
    const fs::path locked = dir_ / ("private/orvane-update-" + std::to_string(ended)) / "locked";
    TestSupport::writeFile(locked / "planted", "");
    const UpdateInfo update = offer("2.0", "2.0");
    const std::string result = asUser(
        [&]() -> std::string {
            try {
                SelfUpdater::install(update, where(session_, ended));
                return "installed";
            } catch (const std::system_error& error) {
                return error.what();
            }
        },
        [&] { return ::lchown(locked.c_str(), 0, 0) ? "cannot lock the folder" : ""; });
    if (result.starts_with("skipped")) GTEST_SKIP() << result;
    EXPECT_TRUE(result.starts_with("remove(")) << result;
    EXPECT_TRUE(fs::exists(locked / "planted"));
}

// Refused before any download: nothing listens where the update is offered, so a download
// would fail as a transport error.
TEST_F(SelfUpdaterTest, ALocationThatCannotBeReplacedIsRefusedBeforeAnyDownload) {
    const auto readOnlyVolume = [&]() -> std::string {  // in a mount namespace of its own
        const char* d = dest_.c_str();
        return ::unshare(CLONE_NEWNS) ||
                       ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
                       ::mount(d, d, nullptr, MS_BIND, nullptr) ||
                       ::mount(nullptr, d, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr)
                   ? std::strerror(errno)
                   : "";
    };
    const std::pair<fs::path, std::function<std::string()>> cases[] = {
        {"", [] { return ""; }},
        {(fs::create_directories(dir_ / "AppTranslocation/X"), dir_ / "AppTranslocation/X/T.app"),
         [] { return ""; }},
        {dest_, [&] { return fs::permissions(apps_, fs::perms(0500)), ""; }},
        {dest_, readOnlyVolume}};
    for (const auto& [dest, prepare] : cases) {
        const std::string result = asUser(
            [&] {
                SelfUpdater::Installation at = where(HttpSession::shared(), 1);
                at.dest = dest;
                return outcome({"2.0", "https://127.0.0.1:1/", ""}, at);
            },
            prepare);
        fs::permissions(apps_, fs::perms(0755));
        EXPECT_FALSE(fs::exists(dir_ / "private"));
        if (result.starts_with("skipped")) GTEST_SKIP() << result;  // only the last one may be
        EXPECT_EQ(result, "the application's folder is read-only") << dest;
    }
}

// Whatever fails, a partial copy is removed and the installed bundle is put back and reopened;
// a backup an earlier run left is never taken for it.
TEST_F(SelfUpdaterTest, ASwapThatFailsPutsBackAndReopensTheInstalledBundle) {
    const auto unreadable = [&] { fs::permissions(release_ / "share/doc/README", fs::perms{}); };
    const auto oldBackup = [&] { TestSupport::writeFile(apps_ / "Tessaly.app.bak/x", ""); };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {unreadable, "1.0"},
        {[&] { fs::permissions(apps_, fs::perms(0500)); }, "1.0"},
        {[&] { oldBackup(), unreadable(); }, "1.0"},
        {oldBackup, "2.0"}};
    for (const auto& [fault, reopened] : cases) {
        fs::permissions(apps_, fs::perms(0755));
        fs::remove_all(apps_);
        fs::remove_all(note_);
        UpdateFixtures::makeBundle(dest_, "1.0", note_);
        offer("2.0", "");
        AtomicFile::write(dir_ / "swap.sh", SwapScript::text(ended));
        fault();
        const std::vector<std::string> args = {dir_ / "swap.sh", release_, dest_};
        EXPECT_EQ(asUser([&] {
                      return std::to_string(TestSupport::runProgram("/bin/sh", args).exitCode);
                  }),
                  "0");
        EXPECT_EQ(relaunched(note_), reopened + "\n");
        EXPECT_EQ(readFile(dest_ / "share/version.txt"), reopened);
        EXPECT_EQ(readFile(dest_ / "share/doc/README"), "Read me.\n");
        EXPECT_EQ(listNames(apps_), std::vector<std::string>{"Tessaly.app"});
    }
}

}  // namespace
