// The update side of the model: when to look for a new version, when to tell the user, and
// what to show at each outcome.

#include <QMetaObject>

#include "background_tasks.h"
#include "build_info.h"
#include "packer_model.h"
#include "tessaly/update_error.h"
#include "update_alerts.h"

namespace tessaly {

namespace {

const QString promptedVersionKey = QStringLiteral("orvane.tessaly.update.promptedVersion");

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace

void PackerModel::checkForUpdatesOnLaunch() {
    if (didCheck_) return;
    didCheck_ = true;
    // Quiet when it fails: nobody asked for it.
    runUpdateCheck([this](Updater::CheckResult found) {
        availableUpdate_ = std::move(found.update);
        emit updateChanged();
        if (!availableUpdate_) return;
        // A version the user declined is still offered by the menu, but not pressed again.
        const auto declined = platform_.preferences->string(promptedVersionKey);
        if (declined && *declined == text(availableUpdate_->version)) return;
        promptForUpdate();
    });
}

void PackerModel::checkForUpdatesManually() {
    if (isUpdating_ || isCheckingForUpdate_) return;
    isCheckingForUpdate_ = true;
    emit updateChanged();
    runUpdateCheck([this](Updater::CheckResult found) {
        isCheckingForUpdate_ = false;
        availableUpdate_ = std::move(found.update);
        emit updateChanged();
        if (found.failure != Updater::CheckFailure::none) {
            // A failure is not "up to date": the user asked, and is told what went wrong.
            platform_.desktop->activate();
            platform_.alerts->run(UpdateAlerts::checkFailed(found.failure));
            return;
        }
        if (!availableUpdate_) {
            platform_.desktop->activate();
            platform_.alerts->run(UpdateAlerts::upToDate(version_));
            return;
        }
        promptForUpdate();
    });
}

void PackerModel::promptForUpdate() {
    if (!availableUpdate_ || isUpdating_) return;
    const UpdateInfo offered = *availableUpdate_;
    platform_.desktop->activate();
    const int answer =
        platform_.alerts->run(UpdateAlerts::newVersion(text(offered.version), version_));
    if (answer == 0) {
        installUpdate();
        return;
    }
    platform_.preferences->setString(promptedVersionKey, text(offered.version));
}

void PackerModel::installUpdate() {
    if (!availableUpdate_ || isUpdating_) return;
    isUpdating_ = true;
    emit updateChanged();
    // The offer is taken now: a check that finishes meanwhile cannot pull it away.
    updateTasks_->run([this, update = *availableUpdate_](std::stop_token stop) {
        bool installed = false;
        bool readOnly = false;
        try {
            platform_.updates->install(update, stop);
            installed = true;
        } catch (const UpdateFailure& failure) {
            readOnly = failure.error() == UpdateError::readOnlyLocation;
        } catch (const std::exception&) {
            // Transport, file-system and process errors all end in the same alert.
        }
        QMetaObject::invokeMethod(
            this, [this, installed, readOnly] { finishInstall(installed, readOnly); },
            Qt::QueuedConnection);
    });
}

void PackerModel::finishInstall(bool installed, bool readOnlyLocation) {
    if (installed) {
        // The swap waits for this process to end; isUpdating stays true until then.
        platform_.desktop->terminate();
        return;
    }
    isUpdating_ = false;
    emit updateChanged();
    platform_.alerts->run(
        readOnlyLocation
            ? UpdateAlerts::readOnlyLocation()
            : UpdateAlerts::installFailed(QString::fromUtf8(BuildInfo::updateHost) + "/tessaly"));
}

void PackerModel::runUpdateCheck(std::function<void(Updater::CheckResult)> then) {
    updateTasks_->run(
        [this, current = version_.toStdString(), then = std::move(then)](std::stop_token stop) {
            Updater::CheckResult found{std::nullopt, Updater::CheckFailure::unreachable};
            try {
                found = platform_.updates->check(current, stop);
            } catch (const std::exception&) {
                // Out of memory or the like: the check did not happen.
            }
            QMetaObject::invokeMethod(
                this, [then, found = std::move(found)]() mutable { then(std::move(found)); },
                Qt::QueuedConnection);
        });
}

}  // namespace tessaly
