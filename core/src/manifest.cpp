#include <nlohmann/json.hpp>

#include "curl_handles.h"
#include "tessaly/updater.h"

namespace tessaly {

namespace Updater {
namespace {

using Json = nlohmann::json;

// A string member, or nothing when absent or of another type.
std::optional<std::string> stringMember(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

// libcurl parses it as an absolute URL with a host.
bool isValidUrl(const std::string& text) {
    if (text.find('\0') != std::string::npos) return false;  // libcurl would read a prefix
    const Curl::Url url = Curl::makeUrl();
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
    char* host = nullptr;
    if (curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return false;
    const Curl::String owned(host);
    return host != nullptr && host[0] != '\0';
}

// libcurl lower-cases the scheme it hands back, so the text itself is looked at.
bool hasHttpsScheme(std::string_view text) {
    return text.substr(0, text.find(':')) == "https";
}

}  // namespace

std::optional<UpdateInfo> parseManifest(std::string_view body) {
    try {
        const Json manifest = Json::parse(body, nullptr, /*allow_exceptions=*/false);
        if (!manifest.is_object()) return std::nullopt;  // also a parse error ("discarded")
        std::optional<std::string> version = stringMember(manifest, "version");
        std::optional<std::string> url = stringMember(manifest, "url");
        if (!version || !url) return std::nullopt;
        if (!isValidUrl(*url) || !hasHttpsScheme(*url)) return std::nullopt;
        return UpdateInfo{std::move(*version), std::move(*url),
                          stringMember(manifest, "notes").value_or("")};
    } catch (...) {
        return std::nullopt;  // out of memory, or libcurl could not start: no manifest
    }
}

std::optional<UpdateInfo> readManifest(std::string_view body, std::string_view currentVersion) {
    std::optional<UpdateInfo> offer = parseManifest(body);
    if (!offer || !isNewer(offer->version, currentVersion)) return std::nullopt;
    return offer;
}

}  // namespace Updater

}  // namespace tessaly
