#pragma once
// A modal alert as Qt draws it: the message, the informative text and the alert's buttons,
// the first the default.

#include <vector>

#include <QMessageBox>

#include "platform.h"

class QPushButton;

namespace tessaly {

class AlertBox : public QMessageBox {
    Q_OBJECT

  public:
    AlertBox(const Alert& alert, QWidget* parent = nullptr);

    // After exec(): the index of the button chosen. Escape or closing the window counts as
    // none of them (the button count), so it never means the default.
    int answer() const;

  private:
    std::vector<QPushButton*> buttons_;
};

}  // namespace tessaly
