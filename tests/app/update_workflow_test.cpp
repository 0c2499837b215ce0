#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include "alert_box.h"
#include "app_test_support.h"
#include "build_info.h"
#include "fake_platform.h"
#include "https_server.h"
#include "main_window.h"
#include "packer_model.h"
#include "system_updates.h"
#include "tessaly/update_error.h"
#include "update_alerts.h"
#include "update_menu.h"

using namespace tessaly;

namespace {

const QString promptedKey = QStringLiteral("orvane.tessaly.update.promptedVersion");

UpdateInfo offer(std::string version) {
    return {std::move(version), "https://updates.test/tessaly/Tessaly.zip", "Faster packing."};
}

class UpdateWorkflowTest : public testing::Test {
  protected:
    void offerOnCheck(std::optional<UpdateInfo> found) {
        script.onCheck = [found](std::stop_token) { return found; };
    }

    // Checks find nothing, once `gate` opens.
    void holdChecksAt(Gate& gate) {
        script.onCheck = [&gate](std::stop_token stop) -> std::optional<UpdateInfo> {
            gate.wait(stop);
            return std::nullopt;
        };
    }

    std::unique_ptr<PackerModel> makeModel() {
        return std::make_unique<PackerModel>(fakePlatform(script), QStringLiteral("1.4"));
    }

    bool called(const std::string& call) const {
        return std::find(script.calls.begin(), script.calls.end(), call) != script.calls.end();
    }

    // Until the checks started so far have been answered and their answers taken in.
    bool waitForCheck(int checks = 1) {
        const bool answered = processEventsUntil([&] { return script.checks >= checks; });
        processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
        return answered;
    }

    PlatformScript script;
};

TEST_F(UpdateWorkflowTest, LaunchCheckOffersTheNewVersionAndInstallingQuits) {
    offerOnCheck(offer("2.0"));
    auto model = makeModel();
    model->start();
    ASSERT_TRUE(processEventsUntil([&] { return called("terminate"); }));

    ASSERT_EQ(script.alerts.size(), 1u);
    EXPECT_EQ(script.alerts[0].message, "A new version of Tessaly is available");
    EXPECT_EQ(script.alerts[0].informative,
              "Tessaly 2.0 is ready — you have 1.4. It will update itself and relaunch.");
    EXPECT_EQ(script.alerts[0].buttons, QStringList({"Install", "Later"}));
    const std::vector<std::string> calls{"activate", "alert", "terminate"};
    EXPECT_EQ(script.calls, calls);
    ASSERT_EQ(script.installed.size(), 1u);
    EXPECT_EQ(script.installed[0], offer("2.0"));
    // Stays true until the process ends; nothing else is shown.
    EXPECT_TRUE(model->isUpdating());
    EXPECT_TRUE(script.preferences.empty());
}

TEST_F(UpdateWorkflowTest, LaunchCheckRunsOncePerModelAndShowsNothingWithoutAnUpdate) {
    auto model = makeModel();
    model->start();
    model->start();
    model->checkForUpdatesOnLaunch();
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(script.checks, 1);
    EXPECT_TRUE(script.calls.empty());
    EXPECT_FALSE(model->availableUpdate());
}

TEST_F(UpdateWorkflowTest, LaterIsRememberedSoTheNextLaunchOnlyOffersADifferentVersionString) {
    offerOnCheck(offer("1.5"));
    script.alertAnswers = {1};
    {
        auto model = makeModel();
        model->start();
        ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));
        EXPECT_EQ(script.preferences[promptedKey], "1.5");
        EXPECT_TRUE(script.installed.empty());
    }
    {
        // The next run finds the declined version: no alert, but the menu offers it.
        auto model = makeModel();
        model->start();
        ASSERT_TRUE(waitForCheck(2));
        ASSERT_TRUE(model->availableUpdate());
        EXPECT_EQ(script.alerts.size(), 1u);
        EXPECT_EQ(UpdateCommands::updateItem(*model).label, "Update to 1.5…");
    }
    {
        // Equal as a version, different as a string: offered again.
        offerOnCheck(offer("1.5.0"));
        script.alertAnswers = {1};
        auto model = makeModel();
        model->start();
        ASSERT_TRUE(processEventsUntil([&] { return script.alerts.size() == 2; }));
        EXPECT_EQ(script.preferences[promptedKey], "1.5.0");
    }
}

TEST_F(UpdateWorkflowTest, ManualCheckWithoutAnUpdateSaysUpToDateWithTheRunningVersion) {
    auto model = makeModel();
    std::vector<std::pair<bool, bool>> published;  // checking, has update
    QObject::connect(model.get(), &PackerModel::updateChanged, [&] {
        published.emplace_back(model->isCheckingForUpdate(), model->availableUpdate().has_value());
    });
    model->checkForUpdatesManually();
    EXPECT_TRUE(model->isCheckingForUpdate());
    ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));

    EXPECT_EQ(script.alerts[0].message, "You're up to date");
    EXPECT_EQ(script.alerts[0].informative, "Tessaly 1.4 is the latest version.");
    EXPECT_TRUE(script.alerts[0].buttons.isEmpty());
    const std::vector<std::string> calls{"activate", "alert"};
    EXPECT_EQ(script.calls, calls);
    const std::vector<std::pair<bool, bool>> expected{
        {true, false}, {false, false}};
    EXPECT_EQ(published, expected);
}

TEST_F(UpdateWorkflowTest, ManualCheckOffersEvenADeclinedVersion) {
    offerOnCheck(offer("1.5"));
    script.preferences[promptedKey] = "1.5";
    script.alertAnswers = {1};
    auto model = makeModel();
    model->checkForUpdatesManually();
    ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));
    EXPECT_EQ(script.alerts[0].message, "A new version of Tessaly is available");
    EXPECT_EQ(model->availableUpdate(), offer("1.5"));
}

TEST_F(UpdateWorkflowTest, ASecondManualCheckWhileOneRunsIsIgnored) {
    Gate gate;
    holdChecksAt(gate);
    auto model = makeModel();
    model->checkForUpdatesManually();
    model->checkForUpdatesManually();
    EXPECT_FALSE(UpdateCommands::checkItem(*model).enabled);
    EXPECT_EQ(UpdateCommands::checkItem(*model).label, "Checking for Updates…");
    gate.open();
    ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));
    ASSERT_TRUE(waitForCheck());
    EXPECT_EQ(script.checks, 1);
    EXPECT_EQ(script.alerts.size(), 1u);
    EXPECT_TRUE(UpdateCommands::checkItem(*model).enabled);
}

TEST_F(UpdateWorkflowTest, WhileInstallingChecksAndOffersAreIgnored) {
    offerOnCheck(offer("2.0"));
    Gate gate;
    script.onInstall = [&](const UpdateInfo&, std::stop_token stop) { gate.wait(stop); };
    auto model = makeModel();
    model->checkForUpdatesManually();
    ASSERT_TRUE(processEventsUntil([&] { return model->isUpdating(); }));

    model->checkForUpdatesManually();
    model->promptForUpdate();
    model->installUpdate();
    EXPECT_EQ(script.checks, 1);
    EXPECT_EQ(script.alerts.size(), 1u);
    EXPECT_EQ(UpdateCommands::updateItem(*model).label, "Installing update…");
    EXPECT_FALSE(UpdateCommands::updateItem(*model).enabled);
    EXPECT_FALSE(UpdateCommands::checkItem(*model).enabled);

    gate.open();
    ASSERT_TRUE(processEventsUntil([&] { return called("terminate"); }));
    EXPECT_EQ(script.installed.size(), 1u);
}

TEST_F(UpdateWorkflowTest, AFailedInstallAlertsWithoutActivatingAndCanBeTriedAgain) {
    offerOnCheck(offer("2.0"));
    bool fail = true;
    script.onInstall = [&](const UpdateInfo&, std::stop_token) {
        if (fail) throw std::runtime_error("GET https://updates.test: Couldn't connect");
    };
    auto model = makeModel();
    model->checkForUpdatesManually();
    ASSERT_TRUE(processEventsUntil([&] { return script.alerts.size() == 2; }));

    EXPECT_EQ(script.alerts[1].message, "Update failed");
    EXPECT_EQ(script.alerts[1].informative,
              "Couldn't install the update. Try again later, or download it from " +
                  QString::fromUtf8(BuildInfo::updateHost) + "/tessaly.");
    const std::vector<std::string> calls{"activate", "alert", "alert"};
    EXPECT_EQ(script.calls, calls);
    EXPECT_FALSE(model->isUpdating());
    EXPECT_EQ(model->availableUpdate(), offer("2.0"));

    fail = false;
    model->promptForUpdate();
    ASSERT_TRUE(processEventsUntil([&] { return called("terminate"); }));
    EXPECT_EQ(script.installed.size(), 2u);
}

TEST_F(UpdateWorkflowTest, EachInstallerFailureShowsItsAlert) {
    const std::vector<std::pair<UpdateError, QString>> cases{
        {UpdateError::readOnlyLocation, "Move Tessaly to Applications"},
        {UpdateError::download, "Update failed"},
        {UpdateError::unpack, "Update failed"},
        {UpdateError::notFound, "Update failed"},
        {UpdateError::badSignature, "Update failed"},
    };
    for (const auto& [error, message] : cases) {
        PlatformScript fresh;
        fresh.onCheck = [](std::stop_token) { return std::optional(offer("2.0")); };
        fresh.onInstall = [error](const UpdateInfo&, std::stop_token) {
            throw UpdateFailure(error, "refused");
        };
        PackerModel model(fakePlatform(fresh), QStringLiteral("1.4"));
        model.checkForUpdatesManually();
        ASSERT_TRUE(processEventsUntil([&] { return fresh.alerts.size() == 2; }));
        EXPECT_EQ(fresh.alerts[1].message, message) << int(error);
        EXPECT_FALSE(model.isUpdating());
        if (error == UpdateError::readOnlyLocation) {
            EXPECT_EQ(fresh.alerts[1].informative,
                      "It's running from a read-only location (a disk image or Downloads). Move "
                      "it to Applications, reopen, then check again.");
        }
    }
}

TEST_F(UpdateWorkflowTest, TheHelpMenuShowsTheUpdateItemsBelowAboutAndFollowsTheModel) {
    Gate checked, installing;
    script.onCheck = [&](std::stop_token stop) -> std::optional<UpdateInfo> {
        checked.wait(stop);
        return offer("2.0&beta");
    };
    script.onInstall = [&](const UpdateInfo&, std::stop_token stop) { installing.wait(stop); };
    auto model = makeModel();
    MainWindow window(*model);
    QMenu* help = nullptr;
    for (QAction* action : window.menuBar()->actions())
        if (action->text() == "&Help") help = action->menu();
    ASSERT_NE(help, nullptr);

    auto items = [&] {
        QStringList shown;
        for (QAction* action : help->actions()) {
            if (!action->isVisible()) continue;
            // Without the mnemonic marks: "&&" is a plain "&".
            QString text = action->text().replace("&&", "\x01").remove(u'&').replace("\x01", "&&");
            shown << text + (action->isEnabled() ? "" : " (disabled)");
        }
        return shown;
    };
    EXPECT_EQ(items(), QStringList({"About Tessaly", "Check for Updates…"}));

    window.updateMenu().checkAction()->trigger();
    EXPECT_EQ(items(), QStringList({"About Tessaly", "Checking for Updates… (disabled)"}));

    script.alertAnswers = {1};  // Later
    checked.open();
    ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));
    // "&" doubled so that the menu shows it rather than taking it for a mnemonic.
    EXPECT_EQ(items(),
              QStringList({"About Tessaly", "Update to 2.0&&beta…", "Check for Updates…"}));

    window.updateMenu().updateAction()->trigger();  // Install
    ASSERT_TRUE(processEventsUntil([&] { return model->isUpdating(); }));
    EXPECT_EQ(items(), QStringList({"About Tessaly", "Installing update… (disabled)",
                                    "Check for Updates… (disabled)"}));
    installing.open();
    ASSERT_TRUE(processEventsUntil([&] { return called("terminate"); }));
}

TEST_F(UpdateWorkflowTest, TheModelGoingAwayStopsAHangingCheck) {
    Gate never;
    holdChecksAt(never);
    auto model = makeModel();
    model->checkForUpdatesManually();
    ASSERT_TRUE(processEventsUntil([&] { return script.checks == 1; }));
    model.reset();  // would wait for ever if the check were not asked to stop
}

TEST(AlertBoxTest, TheFirstButtonIsTheDefaultAndEscapeChoosesNone) {
    AlertBox offer(UpdateAlerts::newVersion("2.0", "1.4"));
    ASSERT_NE(offer.defaultButton(), nullptr);
    EXPECT_EQ(offer.defaultButton()->text(), "Install");
    QTimer::singleShot(0, &offer, [&] { offer.defaultButton()->click(); });
    offer.exec();
    EXPECT_EQ(offer.answer(), 0);

    AlertBox dismissed(UpdateAlerts::newVersion("2.0", "1.4"));
    QTimer::singleShot(0, &dismissed, [&] { dismissed.reject(); });
    dismissed.exec();
    EXPECT_NE(dismissed.answer(), 0);

    AlertBox upToDate(UpdateAlerts::upToDate("1.4"));
    EXPECT_EQ(upToDate.standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(upToDate.text(), "You're up to date");
    EXPECT_EQ(upToDate.informativeText(), "Tessaly 1.4 is the latest version.");
}

}  // namespace

namespace {

using namespace std::chrono_literals;

// The model with the real update service, pointed at a server on the loopback address.
class UpdateOverHttpsTest : public testing::Test {
  protected:
    std::unique_ptr<PackerModel> makeModel(std::chrono::milliseconds timeout = 10s) {
        Platform platform = fakePlatform(script);
        platform.updates =
            std::make_unique<HttpUpdates>(server.url("/tessaly/latest.json"), session, timeout);
        return std::make_unique<PackerModel>(std::move(platform), QStringLiteral("1.4"));
    }

    TestSupport::HttpsServer server;
    HttpSession session{HttpSession::Options{server.caFile()}};
    PlatformScript script;
};

TEST_F(UpdateOverHttpsTest, AManifestOnTheHostIsOfferedWithItsVersion) {
    server.route("/tessaly/latest.json",
                 {.body = R"({"version": "1.5", "url": "https://127.0.0.1/t.zip"})"});
    script.alertAnswers = {1};
    auto model = makeModel();
    model->checkForUpdatesManually();
    ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));
    EXPECT_EQ(script.alerts[0].message, "A new version of Tessaly is available");
    EXPECT_EQ(model->availableUpdate(), (UpdateInfo{"1.5", "https://127.0.0.1/t.zip", ""}));
}

TEST_F(UpdateOverHttpsTest, AServerThatNeverAnswersEndsInUpToDateWhileTheWindowStaysResponsive) {
    server.route("/tessaly/latest.json", {.neverAnswer = true});
    auto model = makeModel(1500ms);
    QElapsedTimer clock;
    clock.start();
    model->checkForUpdatesManually();
    qint64 last = 0, longestPause = 0;
    ASSERT_TRUE(processEventsUntil(
        [&] {
            longestPause = std::max(longestPause, clock.elapsed() - last);
            last = clock.elapsed();
            return !script.alerts.empty();
        },
        10s));
    EXPECT_GE(clock.elapsed(), 1400) << "ended before the time-out";
    EXPECT_LT(longestPause, 250) << "the GUI thread waited for the network";
    EXPECT_EQ(script.alerts[0].message, "You're up to date");
    EXPECT_FALSE(model->isCheckingForUpdate());
}

}  // namespace
