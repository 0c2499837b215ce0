#include "tessaly/updater.h"

namespace tessaly {

namespace Updater {

CheckResult check(const std::string& manifest, std::string_view currentVersion,
                  const HttpSession& session, std::stop_token stop,
                  std::chrono::milliseconds timeout) {
    HttpSession::Response response;
    try {
        response = session.get(manifest, timeout, std::move(stop));
    } catch (const TlsError&) {
        return {std::nullopt, CheckFailure::untrusted};
    } catch (...) {
        return {std::nullopt, CheckFailure::unreachable};  // no network, no answer in time
    }
    // The status is not looked at: a body that reads as a manifest is one.
    std::optional<UpdateInfo> offer = parseManifest(response.body);
    if (!offer) return {std::nullopt, CheckFailure::unreadable};
    if (!isNewer(offer->version, currentVersion)) return {};
    return {std::move(offer), CheckFailure::none};
}

}  // namespace Updater

}  // namespace tessaly
