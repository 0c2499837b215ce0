#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>

#include "app_test_support.h"
#include "input_chooser.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path);
}

TEST(InputChooserTest, TwoFilesAndAFolderCanBeChosenInOneGo) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    writeFile(dir / "b.txt", "b");
    writeFile(dir / "sub" / "c.txt", "c");
    writeFile(dir / "skip.txt", "s");

    InputChooser chooser(nullptr, "Pack", "Choose files or a folder to pack into one context.md");
    chooser.setDirectory(qpath(dir.path()));
    chooser.show();
    auto* view = chooser.findChild<QListView*>("listView");
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(
        processEventsUntil([&] { return view->model()->rowCount(view->rootIndex()) == 4; }));

    QItemSelection selection;
    for (int row = 0; row < 4; ++row) {
        const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        if (index.data().toString() != "skip.txt") selection.select(index, index);
    }
    view->selectionModel()->select(selection,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCoreApplication::processEvents();
    auto* buttons = chooser.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), "Pack");

    chooser.accept();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    QStringList chosen = chooser.chosen();
    chosen.sort();
    EXPECT_EQ(chosen,
              (QStringList{qpath(dir / "a.txt"), qpath(dir / "b.txt"), qpath(dir / "sub")}));
    EXPECT_EQ(chooser.windowTitle(), "Choose files or a folder to pack into one context.md");
}

}  // namespace
