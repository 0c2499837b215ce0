#pragma once
// Signing a bundle and checking its signature. The signature is the file SIGNATURE at the
// bundle's top: the signed list's text, then one last line "signature <hex>" holding the
// Ed25519 signature (128 lower-case hex digits) of every byte before that line.

#include <filesystem>
#include <string>

#include "tessaly/signed_list.h"
#include "tessaly/signing_key.h"
#include "tessaly/trust.h"

namespace tessaly {

namespace Update {

// Lists the bundle and writes its signature file atomically, replacing any earlier one.
// Returns the list signed. Throws UnsignableBundle (see scan_bundle.h), std::invalid_argument
// for an empty team or version, std::system_error when the file system fails.
SignedList signBundle(const std::filesystem::path& bundle, const PrivateKey& key, std::string team,
                      std::string version);

// The version the bundle was signed as, when its signature is by the trusted key and team and
// the bundle on disk is exactly what was signed. Otherwise throws
// UpdateFailure(UpdateError::badSignature) saying why: unsigned, malformed, wrong key or team,
// any folder, file or link missing, added or changed, a link that could lead out, a kind that
// cannot be signed. Follows no link. Throws std::system_error when the file system fails.
[[nodiscard]] std::string verifyBundle(const std::filesystem::path& bundle, const Trust& trust);

}  // namespace Update

}  // namespace tessaly
