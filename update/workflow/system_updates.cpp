#include "system_updates.h"

#include "build_info.h"
#include "tessaly/http_session.h"
#include "tessaly/self_updater.h"
#include "tessaly/updater.h"

namespace {

class SystemUpdates final : public Updates {
  public:
    std::optional<UpdateInfo> check(const std::string& currentVersion,
                                    std::stop_token stop) override {
        return Updater::check(manifest(), currentVersion, HttpSession::shared(), stop);
    }

    void install(const UpdateInfo& update, std::stop_token stop) override {
        SelfUpdater::install(update, SelfUpdater::current(), stop);
    }

  private:
    static const std::string& manifest() {
        static const std::string address =
            std::string("https://") + BuildInfo::updateHost + "/tessaly/latest.json";
        return address;
    }
};

}  // namespace

std::unique_ptr<Updates> makeSystemUpdates() {
    return std::make_unique<SystemUpdates>();
}
