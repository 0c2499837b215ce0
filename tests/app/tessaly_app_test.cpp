#include <future>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QLocalSocket>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "content_view.h"
#include "drop.h"
#include "drop_zone.h"
#include "fake_platform.h"
#include "input_chooser.h"
#include "instance_channel.h"
#include "main_window.h"
#include "result_card.h"
#include "settings_window.h"
#include "style.h"
#include "tessaly_app.h"

using namespace tessaly;
using namespace std::chrono_literals;
using TestSupport::writeFile;
namespace fs = std::filesystem;

namespace {

QUrl urlOf(const fs::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

// Lays out what was shown or hidden (taking in no new change) and draws it, for a person to see;
// into $TESSALY_SCREENSHOTS when set (scripts/screenshots.sh).
void picture(QWidget& widget, const char* name) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QString folder = qEnvironmentVariable("TESSALY_SCREENSHOTS", TESSALY_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    widget.grab().save(folder + QStringLiteral("/%1.png").arg(name));
}

class TessalyAppTest : public testing::Test {
  protected:
    TestSupport::TempDir dir;
    PlatformScript script;
    PackerModel model{fakePlatform(script), PackerModel::versionText("")};
    TessalyApp app{model};
    MainWindow& window = app.mainWindow();
    ContentView& content = *window.content();
};

TEST_F(TessalyAppTest, EveryStateIsDrawnAndShowsWhatTheModelHolds) {
    writeFile(dir / "notes.txt", "n\n");
    writeFile(dir / "project" / "README.md", "# Project\n");
    writeFile(dir / "project" / "copy" / "README.md", "# Project\n");
    writeFile(dir / "project" / "blob.txt", std::string("a\0b", 3));
    writeFile(dir / "large" / "big.txt", std::string(900'000, 'x'));
    writeFile(dir / "images" / "logo.png", "\x89PNG\r\n");
    const struct {
        const char* picture;
        const char* input;  // packed, and waited for but in the packing state
        QString status, notes;
        bool card, warning, exportable;  // Copy and Save, in the card and the menus
    } states[] = {
        {"main-empty", nullptr, "", "", false, false, false},
        {"main-packing", "project", "Packing…", "", false, false, false},
        {"main-result", nullptr, "Packed 1 files ✓",
         "1 duplicate removed · 1 skipped (binary/large)", true, false, true},
        {"main-repacking", "notes.txt", "Packing…",
         "1 duplicate removed · 1 skipped (binary/large)", true, false, false},
        {"main-over-limit", "large", "Packed 1 files ✓", "", true, true, true},
        {"main-no-text", "images", "No text files found", "", false, false, false},
    };
    app.launch({});
    for (const auto& s : states) {
        SCOPED_TRACE(s.picture);
        if (s.input) model.pack({dir / s.input});
        ASSERT_TRUE(s.status == "Packing…" || waitFor([&] { return !model.isPacking(); }));
        ResultCard& card = *content.resultCard();
        if (s.warning) card.copyButton()->setFocus();  // to see the focus on the default action
        picture(window, s.picture);
        QLabel& status = *content.statusLine();
        EXPECT_EQ(status.isVisible() ? status.text() : "", s.status);
        EXPECT_EQ(content.busyIndicator()->isVisible(), model.isPacking());
        EXPECT_EQ(content.chooseButton()->isEnabled(), !model.isPacking());
        EXPECT_EQ(window.chooseAction()->isEnabled(), !model.isPacking());
        EXPECT_EQ(card.isVisible(), s.card);
        EXPECT_EQ(card.isVisible() && card.showsWarning(), s.warning);
        EXPECT_EQ(card.isVisible() ? card.notesText() : "", s.notes);
        EXPECT_EQ(card.isVisible() ? card.sourceText() : "", s.card ? model.sourceLabel() : "");
        for (const bool enabled :
             {card.copyButton()->isEnabled(), card.saveButton()->isEnabled(),
              window.copyAction()->isEnabled(), window.saveAction()->isEnabled()})
            EXPECT_EQ(enabled, s.exportable);
        if (QString(s.picture) == "main-result") {  // the skipped files, a key press away
            card.skippedButton()->setFocus();
            QTest::keyClick(card.skippedButton(), Qt::Key_Space);
            EXPECT_EQ(card.skippedList()->isVisible() ? card.skippedList()->text() : "",
                      "blob.txt — not text");
            picture(window, "main-skipped");
        }
    }
    // Every text reads at 4.5:1, the warning on the card and the label on the default action.
    ResultCard& card = *content.resultCard();
    EXPECT_GE(Style::contrast(Style::warningColor(&card), Style::cardBackground(&card)), 4.5);
    const QPalette copy = card.copyButton()->palette();
    EXPECT_GE(Style::contrast(copy.color(QPalette::Active, QPalette::ButtonText),
                              copy.color(QPalette::Active, QPalette::Button)),
              4.5);
    for (const QAction* menu : window.menuBar()->actions()) {  // every menu and item has a key
        EXPECT_TRUE(menu->text().contains(u'&')) << menu->text().toStdString();
        for (const QAction* item : menu->menu()->actions())
            EXPECT_TRUE(item->isSeparator() || item->text().contains(u'&'))
                << item->text().toStdString();
    }

    emit window.settingsRequested();
    SettingsWindow& settings = app.settingsWindow();
    picture(settings, "settings");
    EXPECT_EQ(settings.nameLine()->text(), "Orvane Markdown Tessaly 1.0");
    if (QCheckBox* atLaunch = settings.checkAtLaunchBox()) {
        EXPECT_TRUE(atLaunch->isChecked());
        atLaunch->click();
        EXPECT_EQ(script.preferences["orvane.tessaly.update.checkAtLaunch"], "false");
    }
    settings.activateWindow();
    ASSERT_TRUE(waitFor([&] { return settings.isActiveWindow(); }));
    QTest::keyClick(&settings, Qt::Key_Escape);
    EXPECT_FALSE(settings.isVisible());

    InputChooser chooser(&window, "Pack", "Choose files or a folder to pack into one context.md");
    chooser.setDirectory(QString::fromStdString(dir.path()));
    chooser.show();
    auto* list = chooser.findChild<QListView*>("listView");
    ASSERT_TRUE(waitFor([&] { return list->model()->rowCount(list->rootIndex()) == 4; }));
    const QAbstractItemModel& files = *list->model();
    for (const char* name : {"notes.txt", "project"})
        list->selectionModel()->select(
            files.match(files.index(0, 0, list->rootIndex()), Qt::DisplayRole, name).value(0),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    // The stock dialog renames its button "Open" while a folder is chosen.
    QPushButton* pack = chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
    EXPECT_TRUE(waitFor([&] { return pack->text() == "Pack"; }));
    picture(chooser, "input-chooser");
    chooser.accept();  // the stock dialog would open the folder instead
    EXPECT_EQ(chooser.chosen().size(), 2);
}

TEST_F(TessalyAppTest, DropsPackOnlyLocalFilesInDropOrder) {
    for (const char* name : {"c.txt", "a.txt", "b.txt"})
        writeFile(dir / name, "x\n");
    const auto https = QUrl("https://x.example/a.txt");
    QMimeData data;
    data.setUrls({https});
    EXPECT_FALSE(Drop::offersFiles(&data));
    data.setUrls({urlOf(dir / "c.txt"), https, urlOf(dir / "a.txt"), urlOf(dir / "b.txt")});
    EXPECT_EQ(Drop::localPaths(data.urls()),
              (std::vector<fs::path>{dir / "c.txt", dir / "a.txt", dir / "b.txt"}));
    QDragEnterEvent enter({9, 9}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(content.dropZone(), &enter);
    QDropEvent drop({9, 9}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(content.dropZone(), &drop);
    ASSERT_TRUE(waitFor([&] { return !model.isPacking(); }));
    EXPECT_EQ(model.sourceLabel(), "3 items");
}

TEST_F(TessalyAppTest, TheCardCopiesAndSavesTheDocumentAndCtrlOPacksWhatThePanelGives) {
    writeFile(dir / "a.txt", "a\n");
    app.launch({dir / "a.txt"});
    ASSERT_TRUE(waitFor([&] { return model.hasResult(); }));
    const auto buttons = content.resultCard()->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    QTest::mouseClick(buttons[0], Qt::LeftButton);  // Copy context.md
    EXPECT_EQ(model.status(), "Copied to clipboard ✓");
    script.saveDestination = dir / "context.md";
    QTest::mouseClick(buttons[1], Qt::LeftButton);  // Save…
    EXPECT_EQ(model.status(), "Saved ✓");
    EXPECT_EQ(script.saveFolder, QDir::homePath().toStdString());
    EXPECT_EQ(TestSupport::readFile(dir / "context.md"), model.result()->markdown);
    script.inputs = std::vector<fs::path>{dir / "a.txt", dir / "context.md"};
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{
                  "copy " + model.result()->markdown, "activate", "save context.md",
                  "reveal " + (dir / "context.md").string(), "activate",
                  "choose Pack: Choose files or a folder to pack into one context.md"}));
    ASSERT_TRUE(waitFor([&] { return !model.isPacking(); }));
    EXPECT_EQ(model.sourceLabel(), "2 items");
    app.open({dir / "a.txt"});  // as from a second launch
    ASSERT_TRUE(waitFor([&] { return model.sourceLabel() == "a.txt"; }));
    QTest::mouseClick(buttons[1], Qt::LeftButton);  // starts where the last one went
    EXPECT_EQ(script.saveFolder, dir.path());
}

TEST_F(TessalyAppTest, ASecondLaunchHandsItsPathsToTheRunningInstance) {
    EXPECT_EQ(Launch::parse({"b", "/a", ".", "../c", "--", "--help"}, "/w/p").paths,
              (std::vector<fs::path>{"/w/p/b", "/a", "/w/p", "/w/c", "/w/p/--help"}));

    const QString name = QString::fromStdString(dir / "tessaly.socket");
    writeFile(dir / "tessaly.socket", "");  // as a killed instance leaves it
    InstanceChannel::Listener running(name);
    ASSERT_TRUE(running.listen());
    EXPECT_FALSE(InstanceChannel::Listener(name).listen()) << "took a live instance's name";
    std::vector<std::vector<fs::path>> received;
    QObject::connect(&running, &InstanceChannel::Listener::openRequested,
                     [&](std::vector<fs::path> paths) { received.push_back(paths); });
    QLocalSocket stray;  // announces 256 MiB: cut off rather than waited for
    stray.connectToServer(name);
    stray.write(QByteArray("\0\0\0\0\x10\0\0\0", 8));
    EXPECT_TRUE(waitFor([&] { return stray.state() == QLocalSocket::UnconnectedState; }));

    // From another thread, as from the second process, while this one serves.
    const std::vector<fs::path> paths{"/a b/c.txt", "/x/\xff\xfe-not-utf8", "/line\nbreak"};
    auto sent = std::async(std::launch::async, [&] { return InstanceChannel::send(name, paths); });
    EXPECT_TRUE(waitFor([&] { return sent.wait_for(0s) == std::future_status::ready; }));
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(received, std::vector<std::vector<fs::path>>{paths});
}

}  // namespace
