#pragma once

#include <string>

// One offer from the update manifest.
struct UpdateInfo {
    std::string version;      // exactly as the manifest gives it
    std::string downloadURL;  // absolute, scheme always "https"
    std::string notes;        // "" when the manifest has none
    bool operator==(const UpdateInfo&) const = default;
};
