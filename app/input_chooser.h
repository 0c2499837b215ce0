#pragma once
// A file dialog in which files and folders can be chosen together, several at once. Qt's own
// dialogs choose either files or one folder.

#include <QFileDialog>
#include <QStringList>

namespace tessaly {

class InputChooser : public QFileDialog {
    Q_OBJECT

  public:
    InputChooser(QWidget* parent, const QString& prompt, const QString& message);

    // What the user confirmed, in the dialog's order.
    const QStringList& chosen() const { return chosen_; }

    void accept() override;

  private:
    void keepPrompt();

    QString prompt_;
    QStringList chosen_;
};

}  // namespace tessaly
