#include "qt_platform.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QWidget>

#include "file_manager.h"
#include "input_chooser.h"
#include "native_path.h"

namespace {

QWidget* mainWindow() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits("QMainWindow")) return widget;
    }
    return nullptr;
}

class QtPanels final : public Panels {
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
        const QString& proposedName) override {
        const QString file = QFileDialog::getSaveFileName(mainWindow(), QString(), proposedName,
                                                          QStringLiteral("Markdown (*.md)"));
        if (file.isEmpty()) return std::nullopt;
        return NativePath::fromQString(file);
    }
};

class QtPasteboard final : public Pasteboard {
  public:
    void setText(const std::string& utf8) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    }
};

class QtWorkspace final : public Workspace {
  public:
    void activate() override {
        if (QWidget* window = mainWindow()) {
            window->raise();
            window->activateWindow();
        }
    }

    void reveal(const std::filesystem::path& file) override { FileManager::reveal(file); }
};

}  // namespace

Platform makeQtPlatform() {
    return Platform{std::make_unique<QtPanels>(), std::make_unique<QtPasteboard>(),
                    std::make_unique<QtWorkspace>()};
}
