// Reading the update manifest never throws, and an offer only ever comes for an https URL and
// a version newer than the running one, each exactly as the manifest gives it.
//
// Input: the running version, a line feed, then the manifest's body.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "property.h"
#include "tessaly/update_info.h"
#include "tessaly/updater.h"

using namespace tessaly;

namespace {

using Fuzz::require;
using Json = nlohmann::json;

std::string stringOr(const Json& object, const char* key, const std::string& fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [current, body] = Fuzz::splitAt(Fuzz::bytesOf(data, size), '\n');
    std::optional<UpdateInfo> offer;
    try {
        offer = Updater::readManifest(body, current);
    } catch (...) {
        require(false, "reading a manifest never throws");
    }
    if (!offer) return 0;
    require(offer->downloadURL.starts_with("https:"), "an offered URL is https");
    require(Updater::isNewer(offer->version, current), "an offered version is newer");

    const Json manifest = Json::parse(body, nullptr, /*allow_exceptions=*/false);
    require(manifest.is_object(), "an offer comes from a JSON object");
    require(offer->version == stringOr(manifest, "version", "") &&
                offer->downloadURL == stringOr(manifest, "url", "") &&
                offer->notes == stringOr(manifest, "notes", ""),
            "an offer holds the manifest's strings as they are");
    return 0;
}
