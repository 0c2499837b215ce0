#pragma once
// The update check: fetch the manifest, read it, and offer its version when newer.
//
// Errors: none escape; a check that fails says why, beside its lack of an offer.

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "tessaly/http_session.h"
#include "tessaly/update_info.h"

namespace tessaly {

namespace Updater {

// The manifest's whole transfer must fit in this.
inline constexpr std::chrono::seconds manifestTimeout{10};

// True when `candidate` is strictly newer than `current`. Both are read as dot-separated
// signed decimal numbers (empty pieces dropped, missing pieces 0, anything unreadable 0) and
// compared piece by piece.
[[nodiscard]] bool isNewer(std::string_view candidate, std::string_view current);

// Why a check found no offer when it could not tell whether there is one.
enum class CheckFailure {
    none,
    unreachable,  // no network, no answer in time, or stopped
    untrusted,    // the server's identity could not be verified
    unreadable,   // the answer is not an update manifest
};

struct CheckResult {
    std::optional<UpdateInfo> update;  // a strictly newer version
    CheckFailure failure = CheckFailure::none;
};

// The manifest in a body, whatever its version: a JSON object with a string "version", a
// string "url" that is a valid https URL with a host, and an optional string "notes"; other
// members are ignored. Nothing for anything else. Never throws.
[[nodiscard]] std::optional<UpdateInfo> parseManifest(std::string_view body);

// The offer in a manifest body: a JSON object with a string "version" newer than
// `currentVersion`, a string "url" that is a valid https URL with a host, and an optional
// string "notes"; other members are ignored. Anything else gives none. Never throws.
[[nodiscard]] std::optional<UpdateInfo> readManifest(std::string_view body,
                                                     std::string_view currentVersion);

// Fetches the manifest at `manifest` (one GET, no extra headers, redirects followed) and
// reads whatever body comes back, whatever its status. Never throws: a failure gives no
// update and says what failed.
[[nodiscard]] CheckResult check(const std::string& manifest, std::string_view currentVersion,
                                const HttpSession& session, std::stop_token stop = {},
                                std::chrono::milliseconds timeout = manifestTimeout);

}  // namespace Updater

}  // namespace tessaly
