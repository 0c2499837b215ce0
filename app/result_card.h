#pragma once
// The source, figures, warning, notes (with the skipped files behind a disclosure) and the copy
// and save buttons of a finished document.

#include <QFrame>

#include "tessaly/pack_result.h"

class QLabel;
class QPushButton;
class QToolButton;

namespace tessaly {

class PackerModel;

class ResultCard : public QFrame {
    Q_OBJECT

  public:
    ResultCard(PackerModel& model, QWidget* parent = nullptr);

    // `canExport` false while a newer packing runs: the card stays, its buttons wait.
    void setResult(const PackResult& result, const QString& source, bool canExport);

    QString filesText() const;
    QString tokensText() const;
    QString sizeText() const;
    bool showsWarning() const;
    QString warningText() const;
    // Empty when the line is hidden.
    QString notesText() const;
    QString sourceText() const;
    QToolButton* skippedButton() const { return skippedButton_; }
    QLabel* skippedList() const { return skippedList_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* saveButton() const { return save_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QWidget* tile(QLabel* value, const QString& caption);

    QLabel* source_;
    QLabel* files_;
    QLabel* tokens_;
    QLabel* size_;
    QWidget* warning_;
    QLabel* warningLabel_;
    QLabel* notes_;
    QToolButton* skippedButton_;
    QLabel* skippedList_;
    QPushButton* copy_;
    QPushButton* save_;
};

}  // namespace tessaly
