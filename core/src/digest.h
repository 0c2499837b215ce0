#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessaly {

namespace Digest {

using Sha256 = std::array<std::uint8_t, 32>;

// SHA-256 of the bytes.
Sha256 sha256(std::string_view bytes);

// For hash tables of digests.
struct Sha256Hash {
    std::size_t operator()(const Sha256& d) const noexcept {
        std::size_t h;
        std::memcpy(&h, d.data(), sizeof h);  // a digest's bytes are already well mixed
        return h;
    }
};

}  // namespace Digest

}  // namespace tessaly
