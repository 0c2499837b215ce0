#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenuBar>

#include "build_info.h"
#include "content_view.h"
#include "packer_model.h"
#include "update_menu.h"

namespace tessaly {

MainWindow::MainWindow(PackerModel& model, QWidget* parent)
    : QMainWindow(parent), model_(model), content_(new ContentView(model, this)) {
    setWindowTitle(QStringLiteral("Orvane Markdown Tessaly"));
    setCentralWidget(content_);
    resize(560, 560);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    choose_ = file->addAction(tr("&Choose files or a folder…"), QKeySequence::Open, &model,
                              &PackerModel::choose);
    save_ = file->addAction(tr("&Save…"), QKeySequence::Save, &model, &PackerModel::save);
    file->addSeparator();
    QAction* quit =
        file->addAction(tr("&Quit"), QKeySequence::Quit, qApp, &QApplication::closeAllWindows);
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    // Nothing in the window selects text, so the copy shortcut always means the document.
    copy_ = edit->addAction(tr("&Copy context.md"), QKeySequence::Copy, &model,
                            &PackerModel::copyToClipboard);
    edit->addSeparator();
    QAction* settings = edit->addAction(tr("Se&ttings…"), QKeySequence(tr("Ctrl+,")), this,
                                        &MainWindow::settingsRequested);
    settings->setMenuRole(QAction::PreferencesRole);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* about = help->addAction(tr("&About Tessaly"), this, &MainWindow::aboutRequested);
    about->setMenuRole(QAction::AboutRole);
    if (BuildInfo::selfUpdate) updateMenu_ = new UpdateMenu(*help, model);

    connect(&model, &PackerModel::packingChanged, this, &MainWindow::refresh);
    refresh();
}

void MainWindow::refresh() {
    choose_->setEnabled(!model_.isPacking());
    save_->setEnabled(model_.canExport());
    copy_->setEnabled(model_.canExport());
}

}  // namespace tessaly
