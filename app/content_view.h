#pragma once
// The main window's content: drop zone, choose button, status line and result card. It shows
// what the model holds and forwards every action to it.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tessaly {

class DropZone;
class PackerModel;
class ResultCard;

class ContentView : public QWidget {
    Q_OBJECT

  public:
    explicit ContentView(PackerModel& model, QWidget* parent = nullptr);

    DropZone* dropZone() const { return dropZone_; }
    QPushButton* chooseButton() const { return choose_; }
    QLabel* statusLine() const { return status_; }
    QProgressBar* busyIndicator() const { return busy_; }
    ResultCard* resultCard() const { return card_; }

  private:
    void refresh();

    PackerModel& model_;
    DropZone* dropZone_;
    QPushButton* choose_;
    QProgressBar* busy_;
    QLabel* status_;
    ResultCard* card_;
};

}  // namespace tessaly
