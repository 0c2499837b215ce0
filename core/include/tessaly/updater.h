#pragma once
// The update check: fetch the manifest, read it, and offer its version when newer.
//
// Errors: none escape; a manifest that cannot be fetched or read is no offer.

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

// The offer in a manifest body: a JSON object with a string "version" newer than
// `currentVersion`, a string "url" that is a valid https URL with a host, and an optional
// string "notes"; other members are ignored. Anything else gives none. Never throws.
[[nodiscard]] std::optional<UpdateInfo> readManifest(std::string_view body,
                                                     std::string_view currentVersion);

// Fetches the manifest at `manifest` (one GET, no extra headers) and reads whatever body
// comes back, whatever its status. Never throws: every failure is "no update".
[[nodiscard]] std::optional<UpdateInfo> check(const std::string& manifest,
                                              std::string_view currentVersion,
                                              const HttpSession& session, std::stop_token stop = {},
                                              std::chrono::milliseconds timeout = manifestTimeout);

}  // namespace Updater

}  // namespace tessaly
