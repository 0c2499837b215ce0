#include "alert_box.h"

#include <QPushButton>

namespace tessaly {

AlertBox::AlertBox(const Alert& alert, QWidget* parent) : QMessageBox(parent) {
    setIcon(QMessageBox::Information);
    setTextFormat(Qt::PlainText);
    setText(alert.message);
    setInformativeText(alert.informative);
    for (const QString& label : alert.buttons) {
        const auto role = buttons_.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        buttons_.push_back(addButton(label, role));
    }
    if (buttons_.empty())
        setStandardButtons(QMessageBox::Ok);
    else
        setDefaultButton(buttons_.front());
}

int AlertBox::answer() const {
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        if (clickedButton() == buttons_[i]) return int(i);
    return buttons_.empty() ? 0 : int(buttons_.size());
}

}  // namespace tessaly
