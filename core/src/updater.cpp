#include "tessaly/updater.h"

namespace tessaly {

namespace Updater {

std::optional<UpdateInfo> check(const std::string& manifest, std::string_view currentVersion,
                                const HttpSession& session, std::stop_token stop,
                                std::chrono::milliseconds timeout) {
    try {
        // The status is not looked at: a body that reads as a manifest is one.
        const HttpSession::Response response = session.get(manifest, timeout, std::move(stop));
        return readManifest(response.body, currentVersion);
    } catch (...) {
        return std::nullopt;  // no network, no answer in time, untrusted, stopped: no update
    }
}

}  // namespace Updater

}  // namespace tessaly
