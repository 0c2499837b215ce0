#pragma once
// The update commands of the Help menu, below its About item. They read the model's update
// state to label, show and enable themselves, and call one model operation each.

#include <QObject>
#include <QString>

class QAction;
class QMenu;

namespace tessaly {

class PackerModel;

namespace UpdateCommands {

struct Item {
    bool shown = true;
    QString label;
    bool enabled = true;
};

// "Update to VERSION…", shown only while an update is available.
Item updateItem(const PackerModel& model);
// "Check for Updates…", always shown.
Item checkItem(const PackerModel& model);

}  // namespace UpdateCommands

class UpdateMenu : public QObject {
    Q_OBJECT

  public:
    // Adds the two items at the end of `menu`.
    UpdateMenu(QMenu& menu, PackerModel& model);

    QAction* updateAction() const { return update_; }
    QAction* checkAction() const { return check_; }

  private:
    void refresh();

    PackerModel& model_;
    QAction* update_;
    QAction* check_;
};

}  // namespace tessaly
