#pragma once
// The application shell: hands the launch and the paths opened with the application to the
// shared model, and owns the windows.

#include <memory>
#include <optional>

#include <QObject>

#include "launch.h"

class QApplication;

namespace tessaly {

class MainWindow;
class PackerModel;
class SettingsWindow;

class TessalyApp : public QObject {
    Q_OBJECT

  public:
    TessalyApp(PackerModel& model, QObject* parent = nullptr);
    ~TessalyApp() override;

    MainWindow& mainWindow() { return *window_; }
    // Made on first use.
    SettingsWindow& settingsWindow();

    // Shows the main window; the launch's paths are packed once the event loop runs.
    void launch(std::vector<std::filesystem::path> paths);
    // Paths opened with the application while it runs: packed like a drop, in order.
    void open(std::vector<std::filesystem::path> paths);
    void showSettings();

  private:
    PackerModel& model_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<SettingsWindow> settings_;
};

// Answers --help and --version, which need no display; nothing for a request to run.
std::optional<int> answerWithoutWindow(const Launch::Request& request);

// The whole program after the QApplication is made: hands the paths to a running instance,
// or runs this one.
int runTessaly(QApplication& application, const Launch::Request& request);

}  // namespace tessaly
