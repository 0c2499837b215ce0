#pragma once
// Ed25519 keys: the vendor's private key that signs releases, and the public half a build
// trusts.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_pkey_st;  // OpenSSL's EVP_PKEY

namespace tessaly {

namespace Update {

using PublicKey = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

class PrivateKey {
  public:
    // Throws std::runtime_error, saying why, unless `pem` holds an unencrypted Ed25519 key.
    static PrivateKey fromPem(std::string_view pem);
    static PrivateKey generate();

    std::string pem() const;  // PKCS#8
    PublicKey publicKey() const;
    Signature sign(std::string_view message) const;

  private:
    struct Free {
        void operator()(evp_pkey_st* key) const noexcept;
    };
    explicit PrivateKey(evp_pkey_st* key) : key_(key) {}

    std::unique_ptr<evp_pkey_st, Free> key_;
};

struct KeyPair {
    std::string privateKeyPem;  // PKCS#8
    std::string publicKeyHex;   // 64 lower-case hex digits, as the build setting takes it
};

KeyPair makeKeyPair();

// The key in a PEM file. Throws std::system_error when the file cannot be read, and
// std::runtime_error when it holds no Ed25519 private key.
PrivateKey readPrivateKey(const std::filesystem::path& file);

// Creates `file` holding `pem`, readable by its owner only, whole or not at all; never
// replaces an existing file. Throws std::system_error.
void writePrivateKeyFile(const std::filesystem::path& file, std::string_view pem);

// 64 hex digits, either case.
std::optional<PublicKey> parsePublicKey(std::string_view hex);
std::string publicKeyHex(const PublicKey& key);

bool signatureIsValid(const PublicKey& key, std::string_view message, const Signature& signature);

}  // namespace Update

}  // namespace tessaly
