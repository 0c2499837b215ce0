#include "tessaly/self_updater.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
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

// The server is on the loopback address: no proxy may come in between. Runs before main.
[[maybe_unused]] const bool noProxies = (TestSupport::ignoreProxies(), true);

// `folder` mounted over itself read-only, in a mount namespace of the process's own; "" when
// done, else why not.
std::string mountReadOnly(const fs::path& folder) {
    struct statvfs volume {};
    ::statvfs(folder.c_str(), &volume);  // a mount without root must keep these
    const unsigned long kept = (volume.f_flag & ST_NOSUID ? MS_NOSUID : 0) |
                               (volume.f_flag & ST_NODEV ? MS_NODEV : 0) |
                               (volume.f_flag & ST_NOEXEC ? MS_NOEXEC : 0);
    if (::unshare(::geteuid() == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | kept,
                nullptr) != 0)
        return std::strerror(errno);
    return "";
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
    if (app == 0) ::execl("/bin/sleep", "sleep", "60", nullptr);
    TestSupport::writeFile(dir_ / ("private/orvane-update-" + std::to_string(app)) / "unpacked/x",
                           "");
    const std::string zip = offer("2.0", "2.0").downloadURL;
    SelfUpdater::install({"2.0", server_.serve("/latest.zip", {301, "", zip}), ""},
                         where(session_, app));
    std::this_thread::sleep_for(300ms);  // the script looks every 0.2 s
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "1.0") << "swapped while the app ran";
    ::kill(app, SIGKILL);
    ::waitpid(app, nullptr, 0);
    EXPECT_EQ(UpdateFixtures::linesWhenWritten(note_), "2.0\n");
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
    for (const auto& c : cases) {
        const pid_t ended = UpdateFixtures::endedProcess();
        EXPECT_EQ(outcome(c.update, where(c.session ? *c.session : session_, ended)), c.outcome);
    }
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "1.0");
    EXPECT_FALSE(fs::exists(note_));
}

// Refused before any download: nothing listens where the update is offered, so a download
// would fail as a transport error. Each runs in a child, which may give up root.
TEST_F(SelfUpdaterTest, ALocationThatCannotBeReplacedIsRefusedBeforeAnyDownload) {
    const auto unwritable = [&] {
        fs::permissions(apps_, fs::perms(0500));
        return UpdateFixtures::dropRoot() ? "" : "cannot give up root";
    };
    const std::pair<fs::path, std::function<std::string()>> cases[] = {
        {"", [] { return ""; }},
        {dir_ / "AppTranslocation/X/Tessaly.app", [] { return ""; }},
        {dest_, [&] { return mountReadOnly(dest_); }},
        {dest_, unwritable}};
    for (const auto& [dest, prepare] : cases) {
        const auto child = TestSupport::runInChild(
            [&] {
                if (const std::string why = prepare(); !why.empty()) return "skipped: " + why;
                SelfUpdater::Installation at = where(HttpSession::shared(), 1);
                at.dest = dest;
                return outcome({"2.0", "https://127.0.0.1:1/", ""}, at);
            },
            20s);
        fs::permissions(apps_, fs::perms(0755));
        if (child.output.starts_with("skipped"))
            std::cout << dest << ": " << child.output << "\n";
        else
            EXPECT_EQ(child.output, "the application's folder is read-only") << dest;
    }
    EXPECT_FALSE(fs::exists(dir_ / "private"));
}

// Whatever fails, a partial copy is removed and the installed bundle is put back and reopened;
// a backup an earlier run left is never taken for it. As an ordinary user: root ignores
// permission bits.
TEST_F(SelfUpdaterTest, ASwapThatFailsPutsBackAndReopensTheInstalledBundle) {
    const fs::path script = dir_ / "swap.sh";
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
        AtomicFile::write(script, SwapScript::text(UpdateFixtures::endedProcess()));
        fault();
        for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
            ASSERT_TRUE(::geteuid() != 0 || ::lchown(entry.path().c_str(), 65534, 65534) == 0);
        ASSERT_TRUE(::geteuid() != 0 || ::lchown(dir_.path().c_str(), 65534, 65534) == 0);
        const auto child = TestSupport::runInChild(
            [&] {
                const std::vector<std::string> args = {script, release_, dest_};
                return std::to_string(UpdateFixtures::dropRoot() &&
                                      TestSupport::runProgram("/bin/sh", args).exitCode == 0);
            },
            20s);
        EXPECT_EQ(child.output, "1");
        EXPECT_EQ(UpdateFixtures::linesWhenWritten(note_), reopened + "\n");
        EXPECT_EQ(readFile(dest_ / "share/version.txt"), reopened);
        EXPECT_EQ(readFile(dest_ / "share/doc/README"), "Read me.\n");
        EXPECT_EQ(listNames(apps_), std::vector<std::string>{"Tessaly.app"});
    }
}

}  // namespace
