#pragma once
// Whose signature an update must carry.

#include <string>

#include "tessaly/signing_key.h"

namespace tessaly {

namespace Update {

struct Trust {
    PublicKey publicKey{};
    std::string team;  // exactly as signed
};

// The key and team set when the program was built (TESSALY_UPDATE_PUBLIC_KEY,
// TESSALY_TEAM_ID).
Trust builtTrust();

}  // namespace Update

}  // namespace tessaly
