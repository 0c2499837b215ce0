#include "packer_model.h"

#include <csignal>

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>

#include "background_tasks.h"
#include "build_info.h"
#include "native_path.h"
#include "qt_platform.h"
#include "serial_worker.h"
#include "tessaly/atomic_file.h"
#include "tessaly/pack_inputs.h"
#include "tessaly/summary.h"

namespace tessaly {

PackerModel& PackerModel::shared() {
    // Owned by the application object, so it goes before Qt does.
    static PackerModel* const instance =
        new PackerModel(makeQtPlatform(), versionText(BuildInfo::version), qApp);
    return *instance;
}

PackerModel::PackerModel(Platform platform, QString version, QObject* parent)
    : QObject(parent),
      platform_(std::move(platform)),
      version_(std::move(version)),
      updateTasks_(std::make_unique<BackgroundTasks>()),
      worker_(std::make_unique<SerialWorker>()) {}

PackerModel::~PackerModel() {
    stop_.request_stop();
}

QString PackerModel::versionText(const char* built) {
    if (built == nullptr || *built == '\0') return QStringLiteral("1.0");
    return QString::fromUtf8(built);
}

void PackerModel::start() {
    if (canUpdateItself() && checksForUpdatesAtLaunch()) checkForUpdatesOnLaunch();
}

bool PackerModel::canUpdateItself() {
    return BuildInfo::selfUpdate;
}

bool PackerModel::checksForUpdatesAtLaunch() const {
    return setting(checkAtLaunchKey, true);
}

void PackerModel::setChecksForUpdatesAtLaunch(bool on) {
    setSetting(checkAtLaunchKey, on);
}

bool PackerModel::leavesOutIgnoredFiles() const {
    return setting(gitignoreKey, false);
}

void PackerModel::setLeavesOutIgnoredFiles(bool on) {
    if (setSetting(gitignoreKey, on)) pack(lastInputs_);
}

bool PackerModel::setting(const QString& key, bool unset) const {
    const auto value = platform_.preferences->string(key);
    return value ? *value == QStringLiteral("true") : unset;
}

bool PackerModel::setSetting(const QString& key, bool on) {
    if (setting(key, !on) == on) return false;
    platform_.preferences->setString(key, on ? QStringLiteral("true") : QStringLiteral("false"));
    emit settingsChanged();
    return true;
}

void PackerModel::pack(std::vector<std::filesystem::path> inputs) {
    if (inputs.empty()) return;
    lastInputs_ = inputs;
    ++pendingPacks_;
    setStatus(QStringLiteral("Packing…"));
    worker_->post([this, inputs = std::move(inputs), stop = stop_.get_token(),
                   gitignore = leavesOutIgnoredFiles()] {
        std::optional<PackResult> result;
        QString title;
        try {
            Collect::Options options;
            options.stop = stop;
            options.gitignore = gitignore;
            auto packed = Pack::packInputs(inputs, std::nullopt, options);
            title = QString::fromStdString(packed.title);
            result = std::move(packed.result);
        } catch (const std::exception&) {
            // Only exhaustion gets here; the window must not stay busy for ever.
        }
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), title = std::move(title)]() mutable {
                publish(std::move(result), std::move(title));
            },
            Qt::QueuedConnection);
    });
}

void PackerModel::publish(std::optional<PackResult> result, QString title) {
    --pendingPacks_;
    if (!result) {
        setStatus(QStringLiteral("Couldn't pack"));
        return;
    }
    QString status = QString::fromStdString(Summary::statusText(*result));
    result_ = std::move(result);
    sourceLabel_ = std::move(title);
    setStatus(std::move(status));
}

void PackerModel::choose() {
    platform_.desktop->activate();
    auto chosen = platform_.fileDialogs->chooseInputs(
        QStringLiteral("Pack"),
        QStringLiteral("Choose files or a folder to pack into one context.md"));
    if (!chosen || chosen->empty()) return;
    pack(std::move(*chosen));
}

void PackerModel::copyToClipboard() {
    if (!canExport()) return;
    platform_.clipboard->setText(result_->markdown);
    setStatus(QStringLiteral("Copied to clipboard ✓"));
}

void PackerModel::save() {
    if (!canExport()) return;
    platform_.desktop->activate();
    auto destination =
        platform_.fileDialogs->chooseSaveDestination(saveFolder(), QStringLiteral("context.md"));
    if (!destination || destination->empty()) return;
    // A file-size limit must fail the write, not kill the application with the temporary left.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        AtomicFile::write(*destination, result_->markdown);
    } catch (const std::exception&) {
        setStatus(QStringLiteral("Couldn't save"));
        return;
    }
    setStatus(QStringLiteral("Saved ✓"));
    platform_.preferences->setString(saveFolderKey,
                                     NativePath::toQString(destination->parent_path()));
    platform_.desktop->reveal(*destination);
}

// The folder saved to last, while it is there, else the home folder.
std::filesystem::path PackerModel::saveFolder() const {
    if (const auto last = platform_.preferences->string(saveFolderKey)) {
        const std::filesystem::path folder = NativePath::fromQString(*last);
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec)) return folder;
    }
    return NativePath::fromQString(QDir::homePath());
}

void PackerModel::setStatus(QString status) {
    status_ = std::move(status);
    emit packingChanged();
}

}  // namespace tessaly
