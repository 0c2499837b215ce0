#include "system_updates.h"

#include "build_info.h"
#include "tessaly/self_updater.h"

namespace tessaly {

HttpUpdates::HttpUpdates(std::string manifest, const HttpSession& session,
                         std::chrono::milliseconds timeout)
    : manifest_(std::move(manifest)), session_(session), timeout_(timeout) {}

Updater::CheckResult HttpUpdates::check(const std::string& currentVersion, std::stop_token stop) {
    return Updater::check(manifest_, currentVersion, session_, stop, timeout_);
}

void HttpUpdates::install(const UpdateInfo& update, std::stop_token stop) {
    SelfUpdater::Installation where = SelfUpdater::current();
    where.session = &session_;
    SelfUpdater::install(update, where, stop);
}

std::unique_ptr<Updates> makeSystemUpdates() {
    return std::make_unique<HttpUpdates>(
        std::string("https://") + BuildInfo::updateHost + "/tessaly/latest.json",
        HttpSession::shared());
}

}  // namespace tessaly
