#pragma once
// The update workflow's alerts, every text as the user reads it.

#include <QString>

#include "platform.h"
#include "tessaly/updater.h"

namespace tessaly {

namespace UpdateAlerts {

Alert upToDate(const QString& runningVersion);
// The reason in one plain sentence, and a single OK.
Alert checkFailed(Updater::CheckFailure failure);
// "Install" is the first button, the default.
Alert newVersion(const QString& offeredVersion, const QString& runningVersion);
Alert readOnlyLocation();
// `downloadAddress` is written without a scheme, e.g. "updates.example/tessaly".
Alert installFailed(const QString& downloadAddress);

}  // namespace UpdateAlerts

}  // namespace tessaly
