#pragma once
// The About section: name and version, the vendor credit and two links.

#include <QUrl>
#include <QWidget>

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
    explicit SettingsWindow(const PackerModel& model, QWidget* parent = nullptr);

    QLabel* nameLine() const { return name_; }

  private:
    QLabel* name_;
};

}  // namespace tessaly
