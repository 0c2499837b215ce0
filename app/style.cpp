#include "style.h"

#include <algorithm>
#include <cmath>

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
    color.setAlphaF(0.6);  // still 4.5:1 on a card
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

QColor cardBackground(const QWidget* widget) {
    const QColor window = QApplication::palette(widget).color(QPalette::Window);
    const QColor fill = quaternaryFill(widget);
    const auto over = [&](float under, float above) {
        return under * (1 - fill.alphaF()) + above * fill.alphaF();
    };
    return QColor::fromRgbF(over(window.redF(), fill.redF()), over(window.greenF(), fill.greenF()),
                            over(window.blueF(), fill.blueF()));
}

QColor warningColor(const QWidget* widget) {
    return contrasting(QColor(0xff, 0x95, 0x00), cardBackground(widget));
}

QColor prominentFill(const QWidget* widget) {
    return contrasting(accentColor(widget),
                       QApplication::palette(widget).color(QPalette::HighlightedText));
}

double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](float v) {
            return v <= 0.03928f ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor contrasting(QColor colour, const QColor& other, double ratio) {
    const bool darker = other.lightnessF() >= 0.5;
    for (int step = 0; step < 100 && contrast(colour, other) < ratio; ++step) {
        const float lightness = colour.lightnessF() + (darker ? -0.01f : 0.01f);
        colour = QColor::fromHslF(colour.hslHueF(), colour.hslSaturationF(),
                                  std::clamp(lightness, 0.0f, 1.0f));
    }
    return colour;
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
