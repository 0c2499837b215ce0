#pragma once
// The desktop as a script: panels, alerts, preferences and the update host answer from it, and
// it records what the model asked. Also how the tests wait for the model.

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <ostream>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "packer_model.h"
#include "test_support.h"

namespace tessaly {

struct PlatformScript {
    std::optional<std::vector<std::filesystem::path>> inputs;  // the panels'; none: cancelled
    std::optional<std::filesystem::path> saveDestination;
    std::filesystem::path saveFolder;  // where the save panel was asked to start
    std::deque<int> alertAnswers;      // button indexes in order; then 0, the default
    std::map<QString, QString> preferences;
    // The update host, called off the GUI thread; by default no update, and installing works.
    std::function<std::optional<UpdateInfo>(std::stop_token)> onCheck;
    Updater::CheckFailure checkFailure = Updater::CheckFailure::none;
    std::function<void(const UpdateInfo&, std::stop_token)> onInstall;
    std::atomic<int> checks = 0;

    // What the model asked, in order: "activate", "choose PROMPT: MESSAGE", "save NAME",
    // "copy DOCUMENT", "reveal PATH", "alert MESSAGE", "terminate"; and the alerts themselves.
    std::vector<std::string> calls;
    std::vector<Alert> alerts;
};

namespace detail {

// Every service in one; the platform holds one per service, all on the same script.
class FakeServices final : public FileDialogs,
                           public Clipboard,
                           public Desktop,
                           public Alerts,
                           public Preferences,
                           public Updates {
  public:
    explicit FakeServices(PlatformScript& script) : s_(script) {}

    std::optional<std::vector<std::filesystem::path>> chooseInputs(const QString& prompt,
                                                                   const QString& text) override {
        log(("choose " + prompt + ": " + text).toStdString());
        return s_.inputs;
    }
    std::optional<std::filesystem::path> chooseSaveDestination(const std::filesystem::path& folder,
                                                               const QString& name) override {
        log("save " + name.toStdString());
        s_.saveFolder = folder;
        return s_.saveDestination;
    }
    void setText(const std::string& utf8) override { log("copy " + utf8); }
    void activate() override { log("activate"); }
    void reveal(const std::filesystem::path& file) override { log("reveal " + file.string()); }
    void terminate() override { log("terminate"); }
    int run(const Alert& alert) override {
        log("alert " + alert.message.toStdString());
        s_.alerts.push_back(alert);
        if (s_.alertAnswers.empty()) return 0;
        const int answer = s_.alertAnswers.front();
        s_.alertAnswers.pop_front();
        return answer;
    }
    std::optional<QString> string(const QString& key) const override {
        return s_.preferences.contains(key) ? std::optional(s_.preferences.at(key)) : std::nullopt;
    }
    void setString(const QString& key, const QString& to) override { s_.preferences[key] = to; }
    Updater::CheckResult check(const std::string&, std::stop_token stop) override {
        ++s_.checks;
        return {s_.onCheck ? s_.onCheck(stop) : std::nullopt, s_.checkFailure};
    }
    void install(const UpdateInfo& update, std::stop_token stop) override {
        if (s_.onInstall) s_.onInstall(update, stop);
    }

  private:
    void log(std::string call) { s_.calls.push_back(std::move(call)); }

    PlatformScript& s_;
};

}  // namespace detail

// The platform reads and writes the script, which outlives it.
inline Platform fakePlatform(PlatformScript& script) {
    auto fake = [&] { return std::make_unique<detail::FakeServices>(script); };
    return Platform{fake(), fake(), fake(), fake(), fake(), fake()};
}

// Runs the event loop until `done` holds, for at most `ms` (ten seconds); returns `done()`.
inline bool waitFor(const std::function<bool()>& done, int ms = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace tessaly

// Found by GoogleTest in QString's namespace, the global one: failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
