#pragma once
// SHA-256 by OpenSSL: of bytes in memory, or of a file read in pieces.

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessaly::System {

using Sha256 = std::array<std::uint8_t, 32>;

// For hash tables of digests.
struct Sha256Hash {
    std::size_t operator()(const Sha256& digest) const noexcept {
        std::size_t h;
        std::memcpy(&h, digest.data(), sizeof h);  // a digest's bytes are already well mixed
        return h;
    }
};

Sha256 sha256(std::string_view bytes);

// Reads `fd` from where it stands to its end. Throws std::system_error naming `name` when a
// read fails.
Sha256 sha256OfFile(int fd, std::string_view name);

}  // namespace tessaly::System
