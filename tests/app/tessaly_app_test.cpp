#include <gtest/gtest.h>

#include "app_test_support.h"
#include "fake_platform.h"
#include "main_window.h"
#include "settings_window.h"
#include "tessaly_app.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

class TessalyAppTest : public testing::Test {
  protected:
    TessalyAppTest() : model(fakePlatform(script), QStringLiteral("1.0")), app(model) {}

    TempDir dir;
    PlatformScript script;
    PackerModel model;
    TessalyApp app;
};

TEST_F(TessalyAppTest, PathsOfTheLaunchArePackedTogetherOnceTheEventLoopRuns) {
    writeFile(dir / "a.txt", "a\n");
    writeFile(dir / "docs" / "b.md", "b\n");
    app.launch({dir / "a.txt", dir / "docs"});
    EXPECT_TRUE(app.mainWindow().isVisible());
    EXPECT_FALSE(model.isPacking());  // not before launching has finished
    ASSERT_TRUE(processEventsUntil([&] { return model.hasResult() && !model.isPacking(); }));
    EXPECT_EQ(model.sourceLabel(), "2 items");
    EXPECT_EQ(model.result()->fileCount, 2);
}

TEST_F(TessalyAppTest, PathsOpenedWhileRunningRepackInTheSameWindow) {
    writeFile(dir / "a.txt", "a\n");
    writeFile(dir / "later.txt", "later\n");
    app.launch({dir / "a.txt"});
    ASSERT_TRUE(
        processEventsUntil([&] { return model.sourceLabel() == "a.txt" && !model.isPacking(); }));
    app.open({dir / "later.txt"});
    EXPECT_EQ(model.status(), "Packing…");
    ASSERT_TRUE(waitUntilPacked(model));
    EXPECT_EQ(model.sourceLabel(), "later.txt");
}

TEST_F(TessalyAppTest, ALaunchWithoutPathsOnlyShowsTheWindow) {
    app.launch({});
    QCoreApplication::processEvents();
    EXPECT_TRUE(app.mainWindow().isVisible());
    EXPECT_TRUE(model.status().isEmpty());
}

TEST_F(TessalyAppTest, TheSettingsCommandOpensOneSettingsWindow) {
    app.launch({});
    emit app.mainWindow().settingsRequested();
    EXPECT_TRUE(app.settingsWindow().isVisible());
    SettingsWindow* first = &app.settingsWindow();
    app.showSettings();
    EXPECT_EQ(&app.settingsWindow(), first);
}

}  // namespace
