#pragma once
// The dashed area that takes dropped files and folders and hands them to the model.

#include <QWidget>

class QLabel;

namespace tessaly {

class PackerModel;

class DropZone : public QWidget {
    Q_OBJECT

  public:
    DropZone(PackerModel& model, QWidget* parent = nullptr);

    bool isTargeted() const { return isTargeted_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void setTargeted(bool targeted);

    PackerModel& model_;
    bool isTargeted_ = false;
};

}  // namespace tessaly
