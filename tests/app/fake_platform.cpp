#include "fake_platform.h"

namespace {

class FakePanels final : public Panels {
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
        const QString& proposedName) override {
        script_.calls.push_back("save");
        script_.proposedName = proposedName;
        return script_.saveDestination;
    }

  private:
    PlatformScript& script_;
};

class FakePasteboard final : public Pasteboard {
  public:
    explicit FakePasteboard(PlatformScript& script) : script_(script) {}

    void setText(const std::string& utf8) override {
        script_.calls.push_back("copy");
        script_.pasteboard = utf8;
    }

  private:
    PlatformScript& script_;
};

class FakeWorkspace final : public Workspace {
  public:
    explicit FakeWorkspace(PlatformScript& script) : script_(script) {}

    void activate() override { script_.calls.push_back("activate"); }

    void reveal(const std::filesystem::path& file) override {
        script_.calls.push_back("reveal");
        script_.revealed.push_back(file);
        if (script_.onReveal) script_.onReveal();
    }

  private:
    PlatformScript& script_;
};

}  // namespace

Platform fakePlatform(PlatformScript& script) {
    return Platform{std::make_unique<FakePanels>(script), std::make_unique<FakePasteboard>(script),
                    std::make_unique<FakeWorkspace>(script)};
}
