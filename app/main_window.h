#pragma once
// The application's window: the content view and the menus whose commands call the model.

#include <QMainWindow>

class QAction;

namespace tessaly {

class ContentView;
class PackerModel;
class UpdateMenu;

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    MainWindow(PackerModel& model, QWidget* parent = nullptr);

    ContentView* content() const { return content_; }
    QAction* chooseAction() const { return choose_; }
    QAction* saveAction() const { return save_; }
    QAction* copyAction() const { return copy_; }
    // Null in a build that does not update itself.
    UpdateMenu* updateMenu() const { return updateMenu_; }

  signals:
    void settingsRequested();
    void aboutRequested();

  private:
    void refresh();

    PackerModel& model_;
    ContentView* content_;
    QAction* choose_;
    QAction* save_;
    QAction* copy_;
    UpdateMenu* updateMenu_ = nullptr;
};

}  // namespace tessaly
