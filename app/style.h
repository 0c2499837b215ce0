#pragma once
// The window's text styles, colours and symbols, taken from the Qt palette, fonts and icon
// theme so they follow the desktop.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStyle>

class QLabel;
class QWidget;

namespace tessaly {

namespace Style {

enum class Text { headline, callout, caption, title3 };

QFont font(Text style);
// Gives a label a text style, and the secondary colour when asked.
void apply(QLabel* label, Text style, bool secondary = false);
// The secondary or primary label colour of the widget's palette.
void setSecondary(QWidget* widget, bool secondary);

QColor secondaryColor(const QWidget* widget);
QColor accentColor(const QWidget* widget);
// A faint fill of the label colour, for cards.
QColor quaternaryFill(const QWidget* widget);
QColor warningColor();

// A freedesktop theme icon, or the style's own when the theme has none.
QIcon icon(const char* themeName, QStyle::StandardPixmap fallback);
// Picks an icon theme when the desktop names none (as on a bare X server).
void chooseIconTheme();

}  // namespace Style

}  // namespace tessaly
