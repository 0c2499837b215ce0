#include "tessaly_app.h"

#include <cstdio>

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "build_info.h"
#include "instance_channel.h"
#include "main_window.h"
#include "packer_model.h"
#include "settings_window.h"
#include "style.h"
#include "tessaly/system/descriptors.h"

namespace tessaly {

namespace {

// The icon theme's, which a theme may restyle, else the one built in.
QIcon appIcon() {
    QIcon builtIn;
    for (int size : {16, 32, 48, 256})
        builtIn.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QString::fromLatin1(BuildInfo::appId), builtIn);
}

}  // namespace

TessalyApp::TessalyApp(PackerModel& model, QObject* parent)
    : QObject(parent), model_(model), window_(std::make_unique<MainWindow>(model)) {
    connect(window_.get(), &MainWindow::settingsRequested, this, &TessalyApp::showSettings);
    // The settings window is also the one that tells what Tessaly is.
    connect(window_.get(), &MainWindow::aboutRequested, this, &TessalyApp::showSettings);
}

TessalyApp::~TessalyApp() = default;

SettingsWindow& TessalyApp::settingsWindow() {
    if (!settings_) settings_ = std::make_unique<SettingsWindow>(model_);
    return *settings_;
}

void TessalyApp::launch(std::vector<std::filesystem::path> paths) {
    window_->show();
    // Once launching has finished, like the desktop's own open requests.
    QTimer::singleShot(0, &model_, [this, paths = std::move(paths)]() mutable {
        model_.start();
        model_.pack(std::move(paths));
    });
}

void TessalyApp::open(std::vector<std::filesystem::path> paths) {
    window_->show();
    window_->raise();
    window_->activateWindow();
    model_.pack(std::move(paths));
}

void TessalyApp::showSettings() {
    SettingsWindow& settings = settingsWindow();
    settings.show();
    settings.raise();
    settings.activateWindow();
}

std::optional<int> answerWithoutWindow(const Launch::Request& request) {
    switch (request.action) {
        case Launch::Action::help:
            std::fputs(Launch::usage().c_str(), stdout);
            return 0;
        case Launch::Action::version:
            std::printf("tessaly %s\n",
                        qUtf8Printable(PackerModel::versionText(BuildInfo::version)));
            return 0;
        case Launch::Action::run:
            break;
    }
    return std::nullopt;
}

int runTessaly(QApplication& application, const Launch::Request& request) {
    if (auto answered = answerWithoutWindow(request)) return *answered;
    const QString channel = InstanceChannel::defaultName();
    if (InstanceChannel::send(channel, request.paths)) return 0;
    System::raiseDescriptorLimit();  // large trees are walked with a few, but more never hurt

    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvane Markdown Tessaly"));
    QApplication::setDesktopFileName(QString::fromLatin1(BuildInfo::appId));
    QApplication::setQuitOnLastWindowClosed(true);
    Style::chooseIconTheme();
    QApplication::setWindowIcon(appIcon());

    TessalyApp app(PackerModel::shared());
    InstanceChannel::Listener listener(channel);
    QObject::connect(&listener, &InstanceChannel::Listener::openRequested, &app, &TessalyApp::open);
    listener.listen();
    app.launch(request.paths);
    return application.exec();
}

}  // namespace tessaly
