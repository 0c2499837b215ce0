#include "tessaly/trust.h"

#include <stdexcept>

#include "trust_settings.h"

namespace tessaly {

namespace Update {

Trust builtTrust() {
    const auto key = parsePublicKey(TrustSettings::publicKeyHex);
    // The build checks the setting, so this only fails when the build was bypassed.
    if (!key) throw std::logic_error("TESSALY_UPDATE_PUBLIC_KEY is not 64 hex digits");
    return {.publicKey = *key, .team = TrustSettings::teamId};
}

}  // namespace Update

}  // namespace tessaly
