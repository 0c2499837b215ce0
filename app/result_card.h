#pragma once
// The figures, warning, notes and the copy and save buttons of a finished document.

#include <QFrame>

#include "tessaly/pack_result.h"

class QLabel;
class QPushButton;

namespace tessaly {

class PackerModel;

class ResultCard : public QFrame {
    Q_OBJECT

  public:
    ResultCard(PackerModel& model, QWidget* parent = nullptr);

    void setResult(const PackResult& result);

    QString filesText() const;
    QString tokensText() const;
    QString sizeText() const;
    bool showsWarning() const;
    QString warningText() const;
    // Empty when the line is hidden.
    QString notesText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QWidget* tile(QLabel* value, const QString& caption);

    QLabel* files_;
    QLabel* tokens_;
    QLabel* size_;
    QWidget* warning_;
    QLabel* warningLabel_;
    QLabel* notes_;
};

}  // namespace tessaly
