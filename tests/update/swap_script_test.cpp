#include "tessaly/swap_script.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "tessaly/atomic_file.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using TestSupport::readFile;

namespace {

class SwapScriptTest : public testing::Test {
  protected:
    SwapScriptTest() { reset(); }

    // The installed bundle "old", the new one "new", and the script waiting for `pid`.
    void reset(pid_t pid = UpdateFixtures::endedProcess()) {
        if (fs::exists(apps_)) fs::permissions(apps_, fs::perms::owner_all);
        fs::remove_all(dir_ / "work");
        fs::remove_all(apps_);
        fs::remove(relaunched_);
        UpdateFixtures::makeBundle(dest_, "old", relaunched_);
        UpdateFixtures::makeBundle(incoming_, "new", relaunched_);
        AtomicFile::write(script_, SwapScript::text(pid));
    }

    // Runs the script to its end, as an ordinary user: root ignores permission bits.
    void runScript() {
        if (::geteuid() == 0) {
            ASSERT_EQ(::lchown(dir_.path().c_str(), 65534, 65534), 0);
            for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
                ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
        }
        const auto child = TestSupport::runInChild(
            [&] {
                if (!UpdateFixtures::dropRoot()) return std::string("cannot give up root");
                return std::to_string(
                    TestSupport::runProgram("/bin/sh", {script_, incoming_, dest_}).exitCode);
            },
            20s);
        EXPECT_EQ(child.output, "0");
    }

    TestSupport::TempDir dir_;
    const fs::path apps_ = dir_ / "My Apps";
    const fs::path dest_ = apps_ / "Tessaly.app";
    const fs::path incoming_ = dir_ / "work/unpacked/Tessaly 2.app";
    const fs::path script_ = dir_ / "work/orvane-update-1.sh";
    const fs::path relaunched_ = dir_ / "relaunched";
};

TEST_F(SwapScriptTest, WaitsForTheApplicationToEndThenSwapsAndReopens) {
    const pid_t app = ::fork();
    if (app == 0) ::_exit(::pause());
    reset(app);
    SwapScript::start(script_, incoming_, dest_);
    std::this_thread::sleep_for(300ms);  // the script polls every 0.2 s
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "old") << "swapped while the app ran";
    ::kill(app, SIGKILL);
    ::waitpid(app, nullptr, 0);
    EXPECT_EQ(UpdateFixtures::linesWhenWritten(relaunched_), "new\n");
    EXPECT_EQ(readFile(dest_ / "share/version.txt"), "new");
    EXPECT_EQ(TestSupport::listNames(apps_), std::vector<std::string>{"Tessaly.app"});
}

// Whatever fails, a partial copy is removed and the bundle that was installed is put back
// and reopened; a backup an earlier run left is never taken for it.
TEST_F(SwapScriptTest, ASwapThatFailsRestoresAndReopensTheInstalledBundle) {
    const auto unreadable = [&] {
        fs::permissions(incoming_ / "share/doc/README", fs::perms::none);
    };
    const auto staleBackup = [&] {
        TestSupport::writeFile(apps_ / "Tessaly.app.bak/share/version.txt", "ancient");
    };
    const struct {
        const char* what;
        std::function<void()> stage;
        const char* reopened;
    } cases[] = {
        {"a copy that fails half-way", unreadable, "old"},
        {"a folder that cannot be written",
         [&] { fs::permissions(apps_, fs::perms::owner_read | fs::perms::owner_exec); }, "old"},
        {"an old backup and a copy that fails",
         [&] {
             staleBackup();
             unreadable();
         },
         "old"},
        {"an old backup", staleBackup, "new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        c.stage();
        runScript();
        EXPECT_EQ(UpdateFixtures::linesWhenWritten(relaunched_), std::string(c.reopened) + "\n");
        EXPECT_EQ(readFile(dest_ / "share/version.txt"), c.reopened);
        EXPECT_EQ(readFile(dest_ / "share/doc/README"), "Read me.\n");
        EXPECT_EQ(TestSupport::listNames(apps_), std::vector<std::string>{"Tessaly.app"});
    }
}

}  // namespace
