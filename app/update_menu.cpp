#include "update_menu.h"

#include <QAction>
#include <QMenu>

#include "packer_model.h"

namespace tessaly {

namespace UpdateCommands {

Item updateItem(const PackerModel& model) {
    const auto& update = model.availableUpdate();
    if (!update) return {false, QString(), false};
    if (model.isUpdating()) return {true, QStringLiteral("Installing update…"), false};
    return {true, QStringLiteral("Update to ") + QString::fromStdString(update->version) + u'…',
            true};
}

Item checkItem(const PackerModel& model) {
    return {true,
            model.isCheckingForUpdate() ? QStringLiteral("Checking for Updates…")
                                        : QStringLiteral("Check for Updates…"),
            !model.isCheckingForUpdate() && !model.isUpdating()};
}

}  // namespace UpdateCommands

namespace {

void show(QAction& action, const UpdateCommands::Item& item) {
    // A menu would take "&" in a version for a mnemonic; the first letter is the one.
    QString label = item.label;
    action.setText(u'&' + label.replace(u'&', QStringLiteral("&&")));
    action.setVisible(item.shown);
    action.setEnabled(item.enabled);
}

}  // namespace

UpdateMenu::UpdateMenu(QMenu& menu, PackerModel& model)
    : QObject(&menu),
      model_(model),
      update_(menu.addAction(QString(), &model, &PackerModel::promptForUpdate)),
      check_(menu.addAction(QString(), &model, &PackerModel::checkForUpdatesManually)) {
    update_->setMenuRole(QAction::NoRole);
    check_->setMenuRole(QAction::ApplicationSpecificRole);
    connect(&model, &PackerModel::updateChanged, this, &UpdateMenu::refresh);
    refresh();
}

void UpdateMenu::refresh() {
    show(*update_, UpdateCommands::updateItem(model_));
    show(*check_, UpdateCommands::checkItem(model_));
}

}  // namespace tessaly
