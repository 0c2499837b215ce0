#pragma once
// The real update service: a manifest over HTTPS and the self-installer.

#include <chrono>
#include <memory>
#include <string>

#include "platform.h"
#include "tessaly/http_session.h"
#include "tessaly/updater.h"

namespace tessaly {

class HttpUpdates final : public Updates {
  public:
    // `session` must outlive this object.
    HttpUpdates(std::string manifest, const HttpSession& session,
                std::chrono::milliseconds timeout = Updater::manifestTimeout);

    Updater::CheckResult check(const std::string& currentVersion, std::stop_token stop) override;
    // Replaces the running program's bundle, downloading with this object's session.
    void install(const UpdateInfo& update, std::stop_token stop) override;

  private:
    const std::string manifest_;
    const HttpSession& session_;
    const std::chrono::milliseconds timeout_;
};

// The vendor's manifest at https://HOST/tessaly/latest.json, with the shared session.
std::unique_ptr<Updates> makeSystemUpdates();

}  // namespace tessaly
