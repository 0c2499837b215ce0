#include "style.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QWidget>

namespace tessaly {

namespace Style {

QFont font(Text style) {
    QFont font = QApplication::font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    switch (style) {
        case Text::headline:
            font.setWeight(QFont::DemiBold);
            break;
        case Text::callout:
            font.setPointSizeF(base * 0.93);
            break;
        case Text::caption:
            font.setPointSizeF(base * 0.85);
            break;
        case Text::title3:
            font.setPointSizeF(base * 1.3);
            font.setWeight(QFont::Medium);
            break;
    }
    return font;
}

void apply(QLabel* label, Text style, bool secondary) {
    label->setFont(font(style));
    setSecondary(label, secondary);
}

void setSecondary(QWidget* widget, bool secondary) {
    QPalette palette = widget->palette();
    const QColor primary = QApplication::palette(widget).color(QPalette::WindowText);
    palette.setColor(QPalette::WindowText, secondary ? secondaryColor(widget) : primary);
    widget->setPalette(palette);
}

QColor secondaryColor(const QWidget* widget) {
    QColor color = QApplication::palette(widget).color(QPalette::WindowText);
    color.setAlphaF(0.55);
    return color;
}

QColor accentColor(const QWidget* widget) {
    return QApplication::palette(widget).color(QPalette::Highlight);
}

QColor quaternaryFill(const QWidget* widget) {
    QColor color = QApplication::palette(widget).color(QPalette::WindowText);
    color.setAlphaF(0.12 * 0.5);
    return color;
}

QColor warningColor() {
    return QColor(0xff, 0x95, 0x00);
}

QIcon icon(const char* themeName, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(themeName),
                            QApplication::style()->standardIcon(fallback));
}

void chooseIconTheme() {
    if (QIcon::hasThemeIcon(QStringLiteral("edit-copy"))) return;
    for (const char* theme : {"Adwaita", "breeze", "hicolor"}) {
        QIcon::setThemeName(QString::fromLatin1(theme));
        if (QIcon::hasThemeIcon(QStringLiteral("edit-copy"))) return;
    }
}

}  // namespace Style

}  // namespace tessaly
