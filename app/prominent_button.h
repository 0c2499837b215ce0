#pragma once
// The default action's button: filled with the accent colour, and ringed when it has the
// keyboard focus, since the style's own focus frame is drawn in that same colour.

#include <QPushButton>

namespace tessaly {

class ProminentButton : public QPushButton {
    Q_OBJECT

  public:
    ProminentButton(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void takePalette();
};

}  // namespace tessaly
