#pragma once
// The desktop services the model needs, behind small interfaces so that tests can answer them
// from a script. The application uses the Qt versions (qt_platform.h).

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

#include "tessaly/update_info.h"
#include "tessaly/updater.h"

namespace tessaly {

// The open and save dialogs.
class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // Files and folders together, several at once, in the panel's order; nothing when the
    // user cancelled.
    virtual std::optional<std::vector<std::filesystem::path>> chooseInputs(
        const QString& prompt, const QString& message) = 0;
    // Where to save, starting in `folder` with `proposedName`; a name typed without an
    // extension gets ".md". Nothing when the user cancelled.
    virtual std::optional<std::filesystem::path> chooseSaveDestination(
        const std::filesystem::path& folder, const QString& proposedName) = 0;
};

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    virtual void setText(const std::string& utf8) = 0;
};

// The desktop around the application.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // Brings the application's window to the front before a panel opens.
    virtual void activate() = 0;
    // Shows the file manager with the file selected.
    virtual void reveal(const std::filesystem::path& file) = 0;
    // The ordinary quit, as if the user chose it.
    virtual void terminate() = 0;
};

// One modal alert: the message, the informative text below it, and its buttons, the
// first being the default. No buttons means a single OK.
struct Alert {
    QString message;
    QString informative;
    QStringList buttons;
};

class Alerts {
  public:
    virtual ~Alerts() = default;
    // Runs the alert until it is answered; the index of the button chosen.
    virtual int run(const Alert& alert) = 0;
};

// The user's own settings, kept between runs.
class Preferences {
  public:
    virtual ~Preferences() = default;
    virtual std::optional<QString> string(const QString& key) const = 0;
    virtual void setString(const QString& key, const QString& value) = 0;
};

// The update host and the installer. Both calls block and are made off the GUI thread; both
// end early when `stop` is requested.
class Updates {
  public:
    virtual ~Updates() = default;
    // A strictly newer version than `currentVersion`, or none; when the check failed, why.
    virtual Updater::CheckResult check(const std::string& currentVersion, std::stop_token stop) = 0;
    // Returns once the swap is arranged and the application may quit; throws UpdateFailure or
    // the error of the step that failed.
    virtual void install(const UpdateInfo& update, std::stop_token stop) = 0;
};

struct Platform {
    std::unique_ptr<FileDialogs> fileDialogs;
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<Alerts> alerts;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<Updates> updates;
};

}  // namespace tessaly
