// Draws the windows in their states into the build folder, for a person to look at; fails
// only when a picture cannot be written.
#include <gtest/gtest.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>

#include "alert_box.h"
#include "app_test_support.h"
#include "content_view.h"
#include "drop_zone.h"
#include "fake_platform.h"
#include "input_chooser.h"
#include "main_window.h"
#include "settings_window.h"
#include "test_support.h"
#include "update_alerts.h"

using namespace tessaly;

using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

class ScreenshotTest : public testing::Test {
  protected:
    ScreenshotTest() : model(fakePlatform(script), QStringLiteral("1.0")), window(model) {
        QDir().mkpath(TESSALY_SCREENSHOT_DIR);
        window.show();
    }

    void save(QWidget& widget, const char* name) {
        QCoreApplication::processEvents();
        const QString file = QStringLiteral(TESSALY_SCREENSHOT_DIR "/%1.png").arg(name);
        EXPECT_TRUE(widget.grab().save(file)) << file.toStdString();
    }

    TempDir dir;
    PlatformScript script;
    PackerModel model;
    MainWindow window;
};

TEST_F(ScreenshotTest, MainWindowFreshAndPacking) {
    save(window, "main-fresh");
    writeFile(dir / "a.txt", "a\n");
    model.pack({dir / "a.txt"});
    save(window, "main-packing");
    ASSERT_TRUE(waitUntilPacked(model));
}

TEST_F(ScreenshotTest, MainWindowWithADragOverTheZone) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/x/a.txt")});
    DropZone* zone = window.content()->dropZone();
    QDragEnterEvent enter(zone->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &enter);
    save(window, "main-drag-over");
}

TEST_F(ScreenshotTest, MainWindowWithWarningAndNotes) {
    writeFile(dir / "p" / "README.md", "# Project\n");
    writeFile(dir / "p" / "big.txt", std::string(900'000, 'x'));
    writeFile(dir / "p" / "copy" / "README.md", "# Project\n");
    writeFile(dir / "p" / "logo.png", "\x89PNG\r\n");
    writeFile(dir / "p" / "blob.txt", std::string("a\0b", 3));
    model.pack({dir / "p"});
    ASSERT_TRUE(waitUntilPacked(model));
    ASSERT_TRUE(model.result()->overLimit());
    save(window, "main-result");
}

TEST_F(ScreenshotTest, MainWindowWithNoTextFiles) {
    writeFile(dir / "bin" / "logo.png", "\x89PNG\r\n");
    model.pack({dir / "bin"});
    ASSERT_TRUE(waitUntilPacked(model));
    save(window, "main-no-text");
}

TEST_F(ScreenshotTest, SettingsWindow) {
    SettingsWindow settings(model);
    settings.show();
    save(settings, "settings");
}

TEST_F(ScreenshotTest, InputChooserWithAFolderSelected) {
    writeFile(dir / "notes.txt", "n");
    writeFile(dir / "src" / "main.c", "m");
    InputChooser chooser(nullptr, "Pack", "Choose files or a folder to pack into one context.md");
    chooser.setDirectory(QString::fromStdString(dir.path()));
    chooser.selectFile(QStringLiteral("src"));
    chooser.show();
    processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
    save(chooser, "input-chooser");
}

TEST_F(ScreenshotTest, NewVersionAlertAndHelpMenu) {
    AlertBox alert(UpdateAlerts::newVersion("2.0", model.version()), &window);
    alert.show();
    save(alert, "alert-new-version");

    script.onCheck = [](std::stop_token) {
        return std::optional<UpdateInfo>({"2.0", "https://updates.test/t.zip", ""});
    };
    script.alertAnswers = {1};
    model.checkForUpdatesManually();
    ASSERT_TRUE(processEventsUntil([&] { return !script.alerts.empty(); }));
    QMenu* help = window.menuBar()->actions().back()->menu();
    help->popup(window.mapToGlobal(QPoint(40, 20)));
    save(*help, "help-menu");
    help->close();
}

}  // namespace
