#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "tessaly/atomic_file.h"
#include "tessaly/swap_script.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;

using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;
using UpdateFixtures::endedProcess;
using UpdateFixtures::spawn;
namespace fs = std::filesystem;

namespace {

constexpr uid_t nobody = 65534;

// Permission bits bind root in no way, so as root the whole tree goes to an ordinary user,
// who then runs the script.
void chownTree(const fs::path& root) {
    ASSERT_EQ(::lchown(root.c_str(), nobody, nobody), 0);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        ASSERT_EQ(::lchown(entry.path().c_str(), nobody, nobody), 0) << entry.path();
}

class SwapScriptTest : public testing::Test {
  protected:
    SwapScriptTest() {
        makeBundle(dest, "old");
        makeBundle(incoming, "new");
        fs::create_directories(markers);
        if (::geteuid() == 0) chownTree(dir.path());
    }

    ~SwapScriptTest() override {
        // Lets the temporary folder go again after a test took rights away.
        fs::permissions(apps, fs::perms::owner_all);
        std::error_code ignored;
        fs::permissions(incoming / "share" / "locked", fs::perms::owner_all, ignored);
    }

    void makeBundle(const fs::path& bundle, const std::string& version) {
        writeFile(bundle / "bin" / "tessaly", "#!/bin/sh\necho " + version + " >> '" +
                                                  (markers / "relaunched").string() + "'\n");
        fs::permissions(bundle / "bin" / "tessaly",
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
        writeFile(bundle / "share" / "version.txt", version);
        writeFile(bundle / "share" / "locked", version);
    }

    fs::path writeScript(pid_t waitFor) {
        const fs::path script = dir / "work folder" / "orvane-update-1.sh";
        fs::create_directories(script.parent_path());
        AtomicFile::write(script, SwapScript::text(waitFor));
        if (::geteuid() == 0) chownTree(script.parent_path());
        return script;
    }

    // Runs the script to its end as an ordinary user.
    int runScript(pid_t waitFor) {
        const fs::path script = writeScript(waitFor);
        auto result = TestSupport::runInChild(
            [&]() -> std::string {
                if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 ||
                                         ::setuid(nobody) != 0))
                    return "cannot drop privileges";
                const pid_t shell =
                    spawn({"/bin/sh", script.string(), incoming.string(), dest.string()});
                int status = 0;
                ::waitpid(shell, &status, 0);
                return std::to_string(WEXITSTATUS(status));
            },
            std::chrono::seconds(20));
        EXPECT_TRUE(result.finished) << result.output;
        return result.finished ? std::stoi(result.output) : -1;
    }

    // What the relaunched application noted, once the swap script has run.
    std::string relaunched() { return UpdateFixtures::lineWhenWritten(markers / "relaunched"); }

    TempDir dir;
    const fs::path apps = dir / "My Apps";
    const fs::path dest = apps / "Tessaly.app";
    const fs::path incoming = dir / "unpacked files" / "Tessaly 2.app";
    const fs::path markers = dir / "markers";
};

TEST(SwapScriptText, EmbedsTheProcessToWaitForAndEndsWithoutALineFeed) {
    const std::string text = SwapScript::text(4321);
    EXPECT_TRUE(
        text.starts_with("#!/bin/sh\nwhile kill -0 4321 2>/dev/null; do sleep 0.2; done\n"));
    EXPECT_TRUE(text.ends_with("setsid \"$2/bin/tessaly\" </dev/null >/dev/null 2>&1 &"));
}

TEST_F(SwapScriptTest, WaitsForTheApplicationThenSwapsUnderTheInstalledNameAndRelaunches) {
    const pid_t app = spawn({"/bin/sleep", "60"});
    SwapScript::start(writeScript(app), incoming, dest);

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(readFile(dest / "share" / "version.txt"), "old") << "swapped while the app ran";
    EXPECT_FALSE(fs::exists(markers / "relaunched"));

    ::kill(app, SIGKILL);
    ::waitpid(app, nullptr, 0);
    EXPECT_EQ(relaunched(), "new\n");
    EXPECT_EQ(readFile(dest / "share" / "version.txt"), "new");
    EXPECT_TRUE(fs::is_regular_file(dest / "bin" / "tessaly"));
    EXPECT_FALSE(fs::exists(apps / "Tessaly.app.bak"));
    EXPECT_FALSE(fs::exists(apps / "Tessaly 2.app"));
}

TEST_F(SwapScriptTest, WhenTheInstalledBundleCannotBeMovedNothingIsCopiedAndTheOldAppReopens) {
    fs::permissions(apps, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(runScript(endedProcess()), 0);
    EXPECT_EQ(relaunched(), "old\n");
    EXPECT_EQ(readFile(dest / "share" / "version.txt"), "old");
    EXPECT_FALSE(fs::exists(apps / "Tessaly.app.bak"));
}

TEST_F(SwapScriptTest, ACopyThatFailsHalfWayLeavesTheOldBundleInPlace) {
    // cp copies the readable files, then cannot read this one.
    fs::permissions(incoming / "share" / "locked", fs::perms::none);
    EXPECT_EQ(runScript(endedProcess()), 0);
    EXPECT_EQ(relaunched(), "old\n");
    EXPECT_EQ(readFile(dest / "share" / "version.txt"), "old");
    EXPECT_EQ(readFile(dest / "share" / "locked"), "old");
    EXPECT_FALSE(fs::exists(apps / "Tessaly.app.bak"));
}

TEST_F(SwapScriptTest, ABackupLeftByAnEarlierRunIsReplacedNotRestored) {
    writeFile(apps / "Tessaly.app.bak" / "share" / "version.txt", "ancient");
    if (::geteuid() == 0) chownTree(apps);
    EXPECT_EQ(runScript(endedProcess()), 0);
    EXPECT_EQ(relaunched(), "new\n");
    EXPECT_EQ(readFile(dest / "share" / "version.txt"), "new");
    EXPECT_FALSE(fs::exists(apps / "Tessaly.app.bak"));
}

}  // namespace
