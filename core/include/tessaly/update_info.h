#pragma once

#include <string>

namespace tessaly {

// A newer version on offer, as the update manifest describes it.
struct UpdateInfo {
    std::string version;      // exactly as the manifest gives it
    std::string downloadURL;  // absolute, scheme always "https"
    std::string notes;        // "" when the manifest has none
    bool operator==(const UpdateInfo&) const = default;
};

}  // namespace tessaly
