#include "prominent_button.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

#include "style.h"

namespace tessaly {

ProminentButton::ProminentButton(const QIcon& icon, const QString& text, QWidget* parent)
    : QPushButton(icon, text, parent) {
    setDefault(true);
    setAutoDefault(false);
    takePalette();
}

void ProminentButton::takePalette() {
    QPalette prominent = QApplication::palette(this);
    // Disabled, it looks like any disabled button.
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        prominent.setColor(group, QPalette::Button, Style::prominentFill(this));
        prominent.setColor(group, QPalette::ButtonText,
                           prominent.color(group, QPalette::HighlightedText));
    }
    setPalette(prominent);
}

void ProminentButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange) takePalette();
    QPushButton::changeEvent(event);
}

void ProminentButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
}

}  // namespace tessaly
