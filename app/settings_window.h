#pragma once
// The settings the user keeps, and the About section: name and version, the vendor credit and
// two links. Esc and Ctrl+W close it.

#include <QUrl>
#include <QWidget>

class QCheckBox;
class QLabel;

namespace tessaly {

class PackerModel;

namespace VendorLinks {

QUrl home();
QUrl feedback();
QUrl website();

}  // namespace VendorLinks

class SettingsWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SettingsWindow(PackerModel& model, QWidget* parent = nullptr);

    QLabel* nameLine() const { return name_; }
    // Null in a build that does not update itself.
    QCheckBox* checkAtLaunchBox() const { return checkAtLaunch_; }
    QCheckBox* gitignoreBox() const { return gitignore_; }

  private:
    void refresh();

    PackerModel& model_;
    QLabel* name_;
    QCheckBox* checkAtLaunch_ = nullptr;
    QCheckBox* gitignore_;
};

}  // namespace tessaly
