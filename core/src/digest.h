#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace Digest {

using Sha256 = std::array<std::uint8_t, 32>;

// SHA-256 of the bytes.
Sha256 sha256(std::string_view bytes);

}  // namespace Digest
