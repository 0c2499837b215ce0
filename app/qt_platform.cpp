#include "qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QSettings>
#include <QWidget>

#include "alert_box.h"
#include "file_manager.h"
#include "input_chooser.h"
#include "native_path.h"
#include "system_updates.h"

namespace tessaly {

namespace {

QWidget* mainWindow() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits("QMainWindow")) return widget;
    }
    return nullptr;
}

class QtFileDialogs final : public FileDialogs {
  public:
    std::optional<std::vector<std::filesystem::path>> chooseInputs(
        const QString& prompt, const QString& message) override {
        InputChooser chooser(mainWindow(), prompt, message);
        if (chooser.exec() != QDialog::Accepted) return std::nullopt;
        std::vector<std::filesystem::path> paths;
        for (const QString& file : chooser.chosen())
            paths.push_back(NativePath::fromQString(file));
        return paths;
    }

    std::optional<std::filesystem::path> chooseSaveDestination(
        const std::filesystem::path& folder, const QString& proposedName) override {
        QFileDialog dialog(mainWindow());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Markdown (*.md)"));
        dialog.setDefaultSuffix(QStringLiteral("md"));
        dialog.setDirectory(NativePath::toQString(folder));
        dialog.selectFile(proposedName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return NativePath::fromQString(dialog.selectedFiles().front());
    }
};

class QtClipboard final : public Clipboard {
  public:
    void setText(const std::string& utf8) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    }
};

class QtDesktop final : public Desktop {
  public:
    void activate() override {
        if (QWidget* window = mainWindow()) {
            window->raise();
            window->activateWindow();
        }
    }

    void reveal(const std::filesystem::path& file) override { FileManager::reveal(file); }

    void terminate() override { QCoreApplication::quit(); }
};

class QtAlerts final : public Alerts {
  public:
    int run(const Alert& alert) override {
        AlertBox box(alert, mainWindow());
        box.exec();
        return box.answer();
    }
};

// In the user's configuration folder: ~/.config/ORGANIZATION/APPLICATION.ini, after the names
// the application gave itself.
class QtPreferences final : public Preferences {
  public:
    std::optional<QString> string(const QString& key) const override {
        const QVariant value = settings().value(key);
        if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
        return value.toString();
    }

    void setString(const QString& key, const QString& value) override {
        QSettings s = settings();
        s.setValue(key, value);
        s.sync();
    }

  private:
    static QSettings settings() {
        return QSettings(QSettings::IniFormat, QSettings::UserScope,
                         QCoreApplication::organizationName(), QCoreApplication::applicationName());
    }
};

}  // namespace

Platform makeQtPlatform() {
    return Platform{std::make_unique<QtFileDialogs>(), std::make_unique<QtClipboard>(),
                    std::make_unique<QtDesktop>(),     std::make_unique<QtAlerts>(),
                    std::make_unique<QtPreferences>(), makeSystemUpdates()};
}

}  // namespace tessaly
