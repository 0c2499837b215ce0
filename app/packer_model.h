#pragma once
// The application's one state object: what the windows show about packing, and the
// operations behind every control. Lives on the GUI thread; packing runs on one worker.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include <QObject>
#include <QString>

#include "platform.h"
#include "tessaly/pack_result.h"

namespace tessaly {

class BackgroundTasks;
class SerialWorker;

class PackerModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPacking READ isPacking NOTIFY packingChanged)
    Q_PROPERTY(QString status READ status NOTIFY packingChanged)
    Q_PROPERTY(QString sourceLabel READ sourceLabel NOTIFY packingChanged)
    Q_PROPERTY(bool hasResult READ hasResult NOTIFY packingChanged)
    Q_PROPERTY(bool canExport READ canExport NOTIFY packingChanged)
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(bool isUpdating READ isUpdating NOTIFY updateChanged)
    Q_PROPERTY(bool isCheckingForUpdate READ isCheckingForUpdate NOTIFY updateChanged)
    Q_PROPERTY(bool checksForUpdatesAtLaunch READ checksForUpdatesAtLaunch WRITE
                   setChecksForUpdatesAtLaunch NOTIFY settingsChanged)
    Q_PROPERTY(bool leavesOutIgnoredFiles READ leavesOutIgnoredFiles WRITE setLeavesOutIgnoredFiles
                   NOTIFY settingsChanged)

  public:
    // The application's instance, with the desktop's services; made on first use, after the
    // QApplication.
    static PackerModel& shared();

    PackerModel(Platform platform, QString version, QObject* parent = nullptr);
    ~PackerModel() override;

    // The version the build names, or "1.0" when it names none.
    static QString versionText(const char* built);

    const std::optional<PackResult>& result() const { return result_; }
    bool hasResult() const { return result_.has_value(); }
    const QString& sourceLabel() const { return sourceLabel_; }
    // Until the last request made has finished: requests queue, and each result is published
    // in turn.
    bool isPacking() const { return pendingPacks_ > 0; }
    // Copy and Save have a document to give: a result with files, and no packing under way
    // that will replace it.
    bool canExport() const { return !isPacking() && result_ && result_->fileCount > 0; }
    const QString& status() const { return status_; }
    const QString& version() const { return version_; }
    // The last finished check's offer; nothing also after a failed check.
    const std::optional<UpdateInfo>& availableUpdate() const { return availableUpdate_; }
    bool isUpdating() const { return isUpdating_; }
    bool isCheckingForUpdate() const { return isCheckingForUpdate_; }
    // Whether this build replaces itself; a package manager's build does not.
    static bool canUpdateItself();

    // The user's settings, kept between runs.
    bool checksForUpdatesAtLaunch() const;
    void setChecksForUpdatesAtLaunch(bool on);
    // What git ignores is left out inside a git work tree; changing it packs the last inputs
    // again.
    bool leavesOutIgnoredFiles() const;
    void setLeavesOutIgnoredFiles(bool on);

    // The launch-time work; runs once per model.
    void start();
    // Packs absolute file and folder paths, as given, after the call returns; requests queue
    // and finish in the order made.
    void pack(std::vector<std::filesystem::path> inputs);
    void choose();
    void copyToClipboard();
    void save();

    // Self-update. The checks and the installation run off the GUI thread; what they find is
    // published, and alerts shown, back on it.
    void checkForUpdatesOnLaunch();
    void checkForUpdatesManually();
    void promptForUpdate();
    void installUpdate();

  signals:
    // Each sent once per change of its group, after all of the group's values are set:
    // packing (result, sourceLabel, isPacking, status) and update (availableUpdate,
    // isUpdating, isCheckingForUpdate).
    void packingChanged();
    void updateChanged();
    void settingsChanged();

  private:
    void publish(std::optional<PackResult> result, QString title);
    void setStatus(QString status);
    std::filesystem::path saveFolder() const;

    bool setting(const QString& key, bool unset) const;
    // False when the setting was `on` already.
    bool setSetting(const QString& key, bool on);

    static inline const QString saveFolderKey = QStringLiteral("orvane.tessaly.save.folder");
    static inline const QString gitignoreKey = QStringLiteral("orvane.tessaly.pack.gitignore");
    static inline const QString checkAtLaunchKey =
        QStringLiteral("orvane.tessaly.update.checkAtLaunch");
    void runUpdateCheck(std::function<void(Updater::CheckResult)> then);
    void finishInstall(bool installed, bool readOnlyLocation);

    Platform platform_;
    std::optional<PackResult> result_;
    QString sourceLabel_;
    int pendingPacks_ = 0;
    std::vector<std::filesystem::path> lastInputs_;  // of the last request, to pack again
    QString status_;
    const QString version_;
    bool didCheck_ = false;
    std::optional<UpdateInfo> availableUpdate_;
    bool isUpdating_ = false;
    bool isCheckingForUpdate_ = false;
    // Asked to stop when the model goes, so quitting does not wait for a large packing.
    std::stop_source stop_;
    // Last members: joined first, before the state their jobs report into goes away.
    std::unique_ptr<BackgroundTasks> updateTasks_;
    std::unique_ptr<SerialWorker> worker_;
};

}  // namespace tessaly
