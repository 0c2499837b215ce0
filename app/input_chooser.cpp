#include "input_chooser.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>

namespace tessaly {

InputChooser::InputChooser(QWidget* parent, const QString& prompt, const QString& message)
    : QFileDialog(parent, message), prompt_(prompt) {
    // Only Qt's own dialog can be taught to return folders beside files.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setLabelText(QFileDialog::Accept, prompt);
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>()) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        if (view->selectionModel() != nullptr) {
            connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                    &InputChooser::keepPrompt, Qt::QueuedConnection);
        }
    }
    if (auto* name = findChild<QLineEdit*>()) {
        connect(name, &QLineEdit::textChanged, this, &InputChooser::keepPrompt,
                Qt::QueuedConnection);
    }
}

void InputChooser::accept() {
    // The stock dialog opens a chosen folder instead of returning it; here a folder is an
    // input like any file.
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return;
    for (const QString& file : files) {
        if (!QFileInfo::exists(file)) return;
    }
    chosen_ = files;
    QDialog::accept();
}

void InputChooser::keepPrompt() {
    // The stock dialog renames its button "Open" while a folder is selected.
    if (auto* buttons = findChild<QDialogButtonBox*>()) {
        if (QPushButton* button = buttons->button(QDialogButtonBox::Open)) {
            button->setText(prompt_);
        }
    }
}

}  // namespace tessaly
