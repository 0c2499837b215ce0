#include <thread>

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include "alert_box.h"
#include "build_info.h"
#include "fake_platform.h"
#include "main_window.h"
#include "tessaly/update_error.h"
#include "update_alerts.h"
#include "update_menu.h"

using namespace tessaly;
using namespace std::chrono_literals;

namespace {

// Holds a call off the GUI thread until `open`, a stop or `limit`; whether it was opened.
bool hold(const std::atomic<bool>& open, std::stop_token stop,
          std::chrono::milliseconds limit = 1h) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!open && !stop.stop_requested() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    return open;
}

UpdateInfo offer(std::string version) {
    return {std::move(version), "https://updates.test/tessaly/Tessaly.zip", "Faster."};
}

class UpdateWorkflowTest : public testing::Test {
  protected:
    std::unique_ptr<PackerModel> makeModel() {
        return std::make_unique<PackerModel>(fakePlatform(script), QStringLiteral("1.4"));
    }

    PlatformScript script;
};

TEST_F(UpdateWorkflowTest, EachOutcomeOfACheckShowsItsAlertAndAFailedInstallCanBeRetried) {
    const QString failed = "Couldn't install the update. Try again later, or download it from " +
                           QString::fromUtf8(BuildInfo::updateHost) + "/tessaly.";
    const struct {
        std::optional<UpdateInfo> found;
        std::function<void()> failure;  // of the installation; none: the answer is "Later"
        QString message, informative;   // of the last alert
        Updater::CheckFailure checkFailure = Updater::CheckFailure::none;
    } cases[] = {
        {{}, nullptr, "You're up to date", "Tessaly 1.4 is the latest version."},
        {{},
         nullptr,
         "Couldn't check for updates",
         "The update server could not be reached.",
         Updater::CheckFailure::unreachable},
        {{},
         nullptr,
         "Couldn't check for updates",
         "The update server's answer was not an update manifest.",
         Updater::CheckFailure::unreadable},
        {offer("2.0"), nullptr, "A new version of Tessaly is available",
         "Tessaly 2.0 is ready — you have 1.4. It will update itself and relaunch."},
        {offer("2.0"), [] { throw UpdateFailure(UpdateError::readOnlyLocation, "EROFS"); },
         "Move Tessaly to Applications",
         "It's running from a read-only location (a disk image or Downloads). Move it to "
         "Applications, reopen, then check again."},
        {offer("2.0"), [] { throw std::runtime_error("GET: Couldn't connect"); }, "Update failed",
         failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        script.preferences.clear();
        script.calls.clear();
        script.alerts.clear();
        script.alertAnswers = {c.failure ? 0 : 1};
        script.onCheck = [&c](std::stop_token) { return c.found; };
        script.checkFailure = c.checkFailure;
        script.onInstall = [&c](const UpdateInfo&, std::stop_token) { c.failure(); };
        auto model = makeModel();
        model->checkForUpdatesManually();
        ASSERT_TRUE(waitFor([&] { return script.alerts.size() == (c.failure ? 2u : 1u); }));
        EXPECT_EQ(script.alerts.back().message, c.message);
        EXPECT_EQ(script.alerts.back().informative, c.informative);
        EXPECT_EQ(script.alerts[0].buttons.join("/"), c.found ? "Install/Later" : "");
        // Only the offer brings the application to the front; "Later" is remembered.
        EXPECT_EQ(std::ranges::count(script.calls, "activate"), 1);
        EXPECT_EQ(script.preferences["orvane.tessaly.update.promptedVersion"],
                  c.found && !c.failure ? "2.0" : "");
        if (!c.failure) continue;
        script.onInstall = nullptr;
        model->promptForUpdate();  // as the menu does
        ASSERT_TRUE(waitFor([&] { return script.calls.back() == "terminate"; }));
        EXPECT_TRUE(model->isUpdating());  // until the process ends
    }
}

TEST_F(UpdateWorkflowTest, ADeclinedVersionIsOfferedOnlyByTheMenuAndQuittingStopsAHangingCheck) {
    // Off in the settings: nothing is fetched at launch; failing at launch: nothing is shown.
    script.preferences["orvane.tessaly.update.checkAtLaunch"] = "false";
    makeModel()->start();
    EXPECT_EQ(script.checks, 0);
    script.preferences.clear();
    script.checkFailure = Updater::CheckFailure::untrusted;
    auto quiet = makeModel();
    quiet->start();
    ASSERT_TRUE(waitFor([&] { return script.checks == 1; }));
    waitFor([] { return false; }, 100);  // the answer comes back to the GUI thread
    EXPECT_TRUE(script.alerts.empty());
    script.checkFailure = Updater::CheckFailure::none;
    script.checks = 0;

    script.preferences["orvane.tessaly.update.promptedVersion"] = "1.5";
    script.onCheck = [](std::stop_token) { return std::optional(offer("1.5")); };
    auto model = makeModel();
    model->start();
    model->start();  // once per model
    ASSERT_TRUE(waitFor([&] { return model->availableUpdate().has_value(); }));
    EXPECT_EQ(script.checks, 1);
    EXPECT_TRUE(script.alerts.empty());
    EXPECT_EQ(UpdateCommands::updateItem(*model).label, "Update to 1.5…");

    // Quitting does not wait for a check that hangs.
    script.onCheck = [](std::stop_token stop) { return hold(false, stop, 5s), std::nullopt; };
    model->checkForUpdatesManually();
    ASSERT_TRUE(waitFor([&] { return script.checks == 2; }));
    const auto start = std::chrono::steady_clock::now();
    model.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(UpdateWorkflowTest, TheHelpMenuFollowsTheUpdateStateWhileTheWorkRunsOffTheGuiThread) {
    // A slow host: the first check answers after 600 ms, the next one (the launch check) at once.
    script.onCheck = [&](std::stop_token stop) {
        const bool first = script.checks == 1;
        if (first) hold(false, stop, 600ms);
        return std::optional(offer(first ? "2.0&beta" : "3.0"));
    };
    std::atomic<bool> installing = false;
    std::string installed;
    script.onInstall = [&](const UpdateInfo& update, std::stop_token stop) {
        hold(installing, stop);
        installed = update.version;
    };
    auto model = makeModel();
    MainWindow window(*model);
    const auto items = [help = window.menuBar()->actions().back()->menu()] {
        QStringList shown;
        for (const QAction* item : help->actions()) {
            if (!item->isVisible()) continue;
            QString label = item->text();
            if (label.startsWith(u'&')) label.remove(0, 1);  // the access key
            shown << label + (item->isEnabled() ? "" : " (off)");
        }
        return shown;
    };
    EXPECT_EQ(items(), QStringList({"About Tessaly", "Check for Updates…"}));
    QElapsedTimer clock;
    clock.start();
    window.updateMenu()->checkAction()->trigger();
    model->checkForUpdatesManually();  // ignored while one runs
    EXPECT_EQ(items(), QStringList({"About Tessaly", "Checking for Updates… (off)"}));
    qint64 last = 0, longestPause = 0;
    script.alertAnswers = {1};
    ASSERT_TRUE(waitFor([&] {
        longestPause = std::max(longestPause, clock.elapsed() - last);
        last = clock.elapsed();
        return !script.alerts.empty();
    }));
    EXPECT_LT(longestPause, 250) << "the GUI thread waited for the update host";
    // "&" doubled, so that the menu shows it instead of taking it for a mnemonic.
    EXPECT_EQ(items(),
              QStringList({"About Tessaly", "Update to 2.0&&beta…", "Check for Updates…"}));
    window.updateMenu()->updateAction()->trigger();  // Install
    model->checkForUpdatesManually();
    model->promptForUpdate();
    EXPECT_EQ(items(), QStringList({"About Tessaly", "Installing update… (off)",
                                    "Check for Updates… (off)"}));
    EXPECT_EQ(script.checks, 1);
    EXPECT_EQ(script.alerts.size(), 2u);

    // A check that finishes meanwhile (here the launch check, late) cannot pull the offer away.
    model->start();
    ASSERT_TRUE(waitFor([&] { return model->availableUpdate() == offer("3.0"); }));
    installing = true;
    ASSERT_TRUE(waitFor([&] { return script.calls.back() == "terminate"; }));
    EXPECT_EQ(installed, "2.0&beta");
}

TEST_F(UpdateWorkflowTest, TheOffersDefaultIsInstallAndClosingItIsNot) {
    AlertBox alert(UpdateAlerts::newVersion("2.0", "1.4"));
    EXPECT_EQ(alert.defaultButton()->text(), "Install");
    QTimer::singleShot(0, &alert, &QDialog::reject);
    alert.exec();
    EXPECT_NE(alert.answer(), 0);
}

}  // namespace
