// Reading the update manifest never throws (a throw ends the run as a crash), and an offer only
// ever comes for an https URL and a version newer than the running one, each exactly as the
// manifest gives it. Input: the running version, a line feed, then the manifest's body.

#include <nlohmann/json.hpp>

#include "property.h"
#include "tessaly/updater.h"

using namespace tessaly;
using Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [current, body] = Fuzz::splitAt(Fuzz::bytesOf(data, size), '\n');
    const std::optional<UpdateInfo> offer = Updater::readManifest(body, current);
    if (!offer) return 0;
    require(offer->downloadURL.starts_with("https:"), "an offered URL is https");
    require(Updater::isNewer(offer->version, current), "an offered version is newer");
    const auto json = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
    const auto member = [&](const char* key) {
        return json.contains(key) && json[key].is_string() ? json[key].get<std::string>() : "";
    };
    require(json.is_object() && offer->version == member("version") &&
                offer->downloadURL == member("url") && offer->notes == member("notes"),
            "an offer comes from a JSON object and holds its strings as they are");
    return 0;
}
