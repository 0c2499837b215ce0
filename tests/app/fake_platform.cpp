#include "fake_platform.h"

namespace tessaly {

namespace {

class FakePanels final : public FileDialogs {
  public:
    explicit FakePanels(PlatformScript& script) : script_(script) {}

    std::optional<std::vector<std::filesystem::path>> chooseInputs(
        const QString& prompt, const QString& message) override {
        script_.calls.push_back("choose");
        script_.prompt = prompt;
        script_.message = message;
        return script_.inputs;
    }

    std::optional<std::filesystem::path> chooseSaveDestination(
        const std::filesystem::path&, const QString& proposedName) override {
        script_.calls.push_back("save");
        script_.proposedName = proposedName;
        return script_.saveDestination;
    }

  private:
    PlatformScript& script_;
};

class FakePasteboard final : public Clipboard {
  public:
    explicit FakePasteboard(PlatformScript& script) : script_(script) {}

    void setText(const std::string& utf8) override {
        script_.calls.push_back("copy");
        script_.clipboard = utf8;
    }

  private:
    PlatformScript& script_;
};

class FakeWorkspace final : public Desktop {
  public:
    explicit FakeWorkspace(PlatformScript& script) : script_(script) {}

    void activate() override { script_.calls.push_back("activate"); }

    void reveal(const std::filesystem::path& file) override {
        script_.calls.push_back("reveal");
        script_.revealed.push_back(file);
        if (script_.onReveal) script_.onReveal();
    }

    void terminate() override { script_.calls.push_back("terminate"); }

  private:
    PlatformScript& script_;
};

class FakeAlerts final : public Alerts {
  public:
    explicit FakeAlerts(PlatformScript& script) : script_(script) {}

    int run(const Alert& alert) override {
        script_.calls.push_back("alert");
        script_.alerts.push_back(alert);
        if (script_.alertAnswers.empty()) return 0;
        const int answer = script_.alertAnswers.front();
        script_.alertAnswers.pop_front();
        return answer;
    }

  private:
    PlatformScript& script_;
};

class FakePreferences final : public Preferences {
  public:
    explicit FakePreferences(PlatformScript& script) : script_(script) {}

    std::optional<QString> string(const QString& key) const override {
        const auto found = script_.preferences.find(key);
        if (found == script_.preferences.end()) return std::nullopt;
        return found->second;
    }
    void setString(const QString& key, const QString& value) override {
        script_.preferences[key] = value;
    }

  private:
    PlatformScript& script_;
};

class FakeUpdates final : public Updates {
  public:
    explicit FakeUpdates(PlatformScript& script) : script_(script) {}

    std::optional<UpdateInfo> check(const std::string&, std::stop_token stop) override {
        ++script_.checks;
        return script_.onCheck ? script_.onCheck(stop) : std::nullopt;
    }
    void install(const UpdateInfo& update, std::stop_token stop) override {
        {
            std::lock_guard lock(script_.installedMutex);
            script_.installed.push_back(update);
        }
        if (script_.onInstall) script_.onInstall(update, stop);
    }

  private:
    PlatformScript& script_;
};

}  // namespace

Platform fakePlatform(PlatformScript& script) {
    return Platform{
        std::make_unique<FakePanels>(script),      std::make_unique<FakePasteboard>(script),
        std::make_unique<FakeWorkspace>(script),   std::make_unique<FakeAlerts>(script),
        std::make_unique<FakePreferences>(script), std::make_unique<FakeUpdates>(script)};
}

}  // namespace tessaly
