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
// What a card looks like under its text: the window's colour with the card's fill over it.
QColor cardBackground(const QWidget* widget);
// The size warning's orange, as dark or light as it must be to read on a card.
QColor warningColor(const QWidget* widget);
// The accent fill of the default action, as dark or light as it must be under its label.
QColor prominentFill(const QWidget* widget);

// `colour` moved in lightness away from `other` only as far as it takes the two to reach
// `ratio` of contrast (WCAG's measure; 4.5 for text).
QColor contrasting(QColor colour, const QColor& other, double ratio = 4.5);
double contrast(const QColor& a, const QColor& b);

// A freedesktop theme icon, or the style's own when the theme has none.
QIcon icon(const char* themeName, QStyle::StandardPixmap fallback);
// Picks an icon theme when the desktop names none (as on a bare X server).
void chooseIconTheme();

}  // namespace Style

}  // namespace tessaly
