#include "system_updates.h"

namespace {

// Placeholder until the manifest check and installer are wired in.
class SystemUpdates final : public Updates {
  public:
    std::optional<UpdateInfo> check(const std::string&, std::stop_token) override {
        return std::nullopt;
    }
    void install(const UpdateInfo&, std::stop_token) override {}
};

}  // namespace

std::unique_ptr<Updates> makeSystemUpdates() {
    return std::make_unique<SystemUpdates>();
}
