#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// The finished context document and its figures.
struct PackResult {
    static constexpr std::int64_t tokenLimit = 200'000;

    std::string markdown;
    std::int64_t fileCount = 0;
    std::int64_t tokenEstimate = 0;
    std::int64_t byteCount = 0;
    std::int64_t duplicates = 0;
    std::vector<std::string> skipped;
    std::int64_t ignored = 0;  // files and folders left out by ignore rules, when asked for

    // Likely too large for a model's context window.
    bool overLimit() const { return tokenEstimate > tokenLimit; }
};

}  // namespace tessaly
