#include "update_alerts.h"

namespace tessaly {

namespace UpdateAlerts {

Alert upToDate(const QString& runningVersion) {
    return {QStringLiteral("You're up to date"),
            QStringLiteral("Tessaly ") + runningVersion + QStringLiteral(" is the latest version."),
            {}};
}

Alert checkFailed(Updater::CheckFailure failure) {
    QString reason;
    switch (failure) {
        case Updater::CheckFailure::untrusted:
            reason = QStringLiteral("The update server's identity could not be verified.");
            break;
        case Updater::CheckFailure::unreadable:
            reason = QStringLiteral("The update server's answer was not an update manifest.");
            break;
        case Updater::CheckFailure::unreachable:
        case Updater::CheckFailure::none:
            reason = QStringLiteral("The update server could not be reached.");
            break;
    }
    return {QStringLiteral("Couldn't check for updates"), reason, {}};
}

Alert newVersion(const QString& offeredVersion, const QString& runningVersion) {
    return {QStringLiteral("A new version of Tessaly is available"),
            QStringLiteral("Tessaly ") + offeredVersion + QStringLiteral(" is ready — you have ") +
                runningVersion + QStringLiteral(". It will update itself and relaunch."),
            {QStringLiteral("Install"), QStringLiteral("Later")}};
}

Alert readOnlyLocation() {
    return {QStringLiteral("Move Tessaly to Applications"),
            QStringLiteral("It's running from a read-only location (a disk image or Downloads). "
                           "Move it to Applications, reopen, then check again."),
            {}};
}

Alert installFailed(const QString& downloadAddress) {
    return {QStringLiteral("Update failed"),
            QStringLiteral("Couldn't install the update. Try again later, or download it from ") +
                downloadAddress + QStringLiteral("."),
            {}};
}

}  // namespace UpdateAlerts

}  // namespace tessaly
