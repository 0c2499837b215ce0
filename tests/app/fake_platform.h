#pragma once
// Desktop services that answer from a script and record what the model asked of them.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform.h"

namespace tessaly {

// Holds a background call until the test opens it (or the call is asked to stop).
class Gate {
  public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    void wait(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, stop, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable_any opened_;
    bool open_ = false;
};

struct PlatformScript {
    // What the open panel returns; nothing means cancelled.
    std::optional<std::vector<std::filesystem::path>> inputs;
    std::optional<std::filesystem::path> saveDestination;

    // Answers to alerts, in order, as button indexes; 0 (the default button) once they run out.
    std::deque<int> alertAnswers;
    // The key-value store behind the preferences.
    std::map<QString, QString> preferences;
    // What the update host finds and how the installation ends; both run off the GUI thread.
    // By default there is no update and the installation succeeds.
    std::function<std::optional<UpdateInfo>(std::stop_token)> onCheck;
    std::function<void(const UpdateInfo&, std::stop_token)> onInstall;
    std::atomic<int> checks = 0;
    std::vector<UpdateInfo> installed;  // guarded by installedMutex
    std::mutex installedMutex;

    // What was asked, in order: "activate", "choose", "save", "copy", "reveal", "alert",
    // "terminate".
    std::vector<std::string> calls;
    QString prompt, message, proposedName;
    std::string clipboard;
    std::vector<std::filesystem::path> revealed;
    std::vector<Alert> alerts;
    // Runs when the file manager is asked to reveal a file (to look at the model then).
    std::function<void()> onReveal;
};

// The platform reads and writes the script, which outlives it.
Platform fakePlatform(PlatformScript& script);

}  // namespace tessaly
