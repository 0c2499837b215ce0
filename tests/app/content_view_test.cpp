#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app_test_support.h"
#include "content_view.h"
#include "drop.h"
#include "drop_zone.h"
#include "fake_platform.h"
#include "main_window.h"
#include "result_card.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::TempDir;
using TestSupport::writeFile;
namespace fs = std::filesystem;

namespace {

QUrl urlOf(const fs::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

class MainWindowTest : public testing::Test {
  protected:
    MainWindowTest() : model(fakePlatform(script), QStringLiteral("1.0")), window(model) {
        window.show();
    }

    ContentView& content() { return *window.content(); }

    void drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        DropZone* zone = content().dropZone();
        const QPoint centre = zone->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(zone, &enter);
        targetedDuringDrag = zone->isTargeted();
        QDropEvent dropped(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(zone, &dropped);
        acceptedDrop = dropped.isAccepted();
    }

    TempDir dir;
    PlatformScript script;
    PackerModel model;
    MainWindow window;
    bool targetedDuringDrag = false;
    bool acceptedDrop = false;
};

TEST_F(MainWindowTest, AFreshWindowShowsTheDropZoneAndChooseButtonOnly) {
    EXPECT_EQ(window.windowTitle(), "Orvane Markdown Tessaly");
    EXPECT_EQ(window.size(), QSize(560, 560));
    window.resize(100, 100);
    EXPECT_GE(window.width(), 460);
    EXPECT_GE(window.height(), 420);

    EXPECT_TRUE(content().dropZone()->isVisible());
    EXPECT_TRUE(content().chooseButton()->isEnabled());
    EXPECT_EQ(content().chooseButton()->text(), "Choose files or a folder…");
    EXPECT_FALSE(content().statusLine()->isVisible());
    EXPECT_FALSE(content().resultCard()->isVisible());
    EXPECT_FALSE(content().busyIndicator()->isVisible());
}

TEST_F(MainWindowTest, DroppingThreeFilesMakesOneRequestInDropOrder) {
    writeFile(dir / "c.txt", "c\n");
    writeFile(dir / "a.txt", "a\n");
    writeFile(dir / "b.txt", "b\n");
    std::vector<QString> statuses;
    QObject::connect(&model, &PackerModel::packingChanged, [&] {
        if (!model.status().isEmpty() && (statuses.empty() || statuses.back() != model.status()))
            statuses.push_back(model.status());
    });
    drop({urlOf(dir / "c.txt"), QUrl("https://example.com/x.txt"), urlOf(dir / "a.txt"),
          urlOf(dir / "b.txt")});
    EXPECT_TRUE(targetedDuringDrag);
    EXPECT_TRUE(acceptedDrop);
    EXPECT_FALSE(content().dropZone()->isTargeted());
    ASSERT_TRUE(waitUntilPacked(model));
    EXPECT_EQ(statuses, (std::vector<QString>{"Packing…", "Packed 3 files ✓"}));
    EXPECT_EQ(model.sourceLabel(), "3 items");
}

TEST(DropTest, KeepsLocalFilesInDropOrderAndLeavesOutTheRest) {
    const auto paths =
        Drop::localPaths({QUrl::fromLocalFile("/z/c.txt"), QUrl("https://x.example/a"),
                          QUrl::fromLocalFile("/z/a b"), QUrl::fromLocalFile("/z/c.txt")});
    EXPECT_EQ(paths, (std::vector<fs::path>{"/z/c.txt", "/z/a b", "/z/c.txt"}));
}

TEST_F(MainWindowTest, ADragThatLeavesUntargetsTheZone) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/x/a.txt")});
    DropZone* zone = content().dropZone();
    QDragEnterEvent enter(zone->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(zone, &enter);
    EXPECT_TRUE(zone->isTargeted());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(zone, &leave);
    EXPECT_FALSE(zone->isTargeted());
    EXPECT_FALSE(model.isPacking());
}

TEST_F(MainWindowTest, ADropWithoutLocalFilesPacksNothing) {
    drop({QUrl("https://example.com/a.txt")});
    EXPECT_FALSE(targetedDuringDrag);
    QCoreApplication::processEvents();
    EXPECT_FALSE(model.isPacking());
    EXPECT_FALSE(content().statusLine()->isVisible());
}

TEST_F(MainWindowTest, WhilePackingTheChooseButtonAndCommandDoNotReact) {
    writeFile(dir / "a.txt", "a\n");
    model.pack({dir / "a.txt"});
    EXPECT_FALSE(content().chooseButton()->isEnabled());
    EXPECT_FALSE(window.chooseAction()->isEnabled());
    EXPECT_TRUE(content().busyIndicator()->isVisible());
    EXPECT_EQ(content().statusLine()->text(), "Packing…");
    QTest::mouseClick(content().chooseButton(), Qt::LeftButton);
    EXPECT_TRUE(script.calls.empty());

    ASSERT_TRUE(waitUntilPacked(model));
    EXPECT_TRUE(content().chooseButton()->isEnabled());
    EXPECT_FALSE(content().busyIndicator()->isVisible());
    EXPECT_EQ(content().statusLine()->text(), "Packed 1 files ✓");
    EXPECT_TRUE(content().resultCard()->isVisible());
    QTest::mouseClick(content().chooseButton(), Qt::LeftButton);
    EXPECT_EQ(script.calls, (std::vector<std::string>{"activate", "choose"}));
}

TEST_F(MainWindowTest, APackingWithoutTextFilesRemovesTheCard) {
    writeFile(dir / "a.txt", "a\n");
    writeFile(dir / "bin" / "x.png", "\x89PNG");
    model.pack({dir / "a.txt"});
    ASSERT_TRUE(waitUntilPacked(model));
    ASSERT_TRUE(content().resultCard()->isVisible());
    model.pack({dir / "bin"});
    ASSERT_TRUE(waitUntilPacked(model));
    EXPECT_EQ(content().statusLine()->text(), "No text files found");
    EXPECT_FALSE(content().resultCard()->isVisible());
}

TEST_F(MainWindowTest, TheCardsButtonsAndShortcutsCopyAndSave) {
    writeFile(dir / "a.txt", "a\n");
    model.pack({dir / "a.txt"});
    ASSERT_TRUE(waitUntilPacked(model));
    auto buttons = content().resultCard()->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "Copy context.md");
    EXPECT_EQ(buttons[1]->text(), "Save…");
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(script.clipboard, model.result()->markdown);
    EXPECT_EQ(content().statusLine()->text(), "Copied to clipboard ✓");
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_EQ(script.calls.back(), "save");

    script.calls.clear();
    window.activateWindow();
    QTest::keyClick(&window, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(script.calls,
              (std::vector<std::string>{"copy", "activate", "save", "activate", "choose"}));
}

TEST_F(MainWindowTest, EveryControlHasAnAccessibleName) {
    writeFile(dir / "a.txt", "a\n");
    model.pack({dir / "a.txt"});
    ASSERT_TRUE(waitUntilPacked(model));
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&window)) continue;
        const bool control = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                             qobject_cast<QProgressBar*>(widget) != nullptr ||
                             qobject_cast<DropZone*>(widget) != nullptr;
        if (!control) continue;
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
    }
}

PackResult resultWith(std::int64_t files, std::int64_t tokens, std::int64_t duplicates,
                      std::size_t skipped) {
    PackResult result;
    result.fileCount = files;
    result.tokenEstimate = tokens;
    result.byteCount = 13'800;
    result.duplicates = duplicates;
    result.skipped.assign(skipped, "x.bin — not text");
    return result;
}

TEST_F(MainWindowTest, TheCardShowsFiguresWarningAndNotesAsTheResultSays) {
    ResultCard& card = *content().resultCard();
    card.setResult(resultWith(1234, 12'345, 1, 0), "src", true);
    EXPECT_EQ(card.filesText(), "1234");
    EXPECT_EQ(card.tokensText(), "≈ 12,345");
    EXPECT_EQ(card.sizeText(), "13.8 kB");
    EXPECT_FALSE(card.showsWarning());
    EXPECT_EQ(card.notesText(), "1 duplicate removed");

    card.setResult(resultWith(3, 200'000, 0, 2), "src", true);
    EXPECT_FALSE(card.showsWarning());
    EXPECT_EQ(card.notesText(), "2 skipped (binary/large)");

    card.setResult(resultWith(3, 200'001, 2, 1), "src", true);
    EXPECT_TRUE(card.showsWarning());
    EXPECT_EQ(card.warningText(), "Large — this may exceed some models' context windows.");
    EXPECT_EQ(card.notesText(), "2 duplicates removed · 1 skipped (binary/large)");

    card.setResult(resultWith(3, 10, 0, 0), "src", true);
    EXPECT_EQ(card.notesText(), "");
}

}  // namespace
