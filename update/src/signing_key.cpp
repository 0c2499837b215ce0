#include "tessaly/signing_key.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "hex.h"
#include "tessaly/system/io.h"
#include "tessaly/system/openssl_handles.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"

namespace tessaly {

namespace Update {
namespace {

namespace fs = std::filesystem;

// Far above any PEM key; keeps a wrong file from being read whole.
constexpr std::size_t maxKeyFileSize = 64 * 1024;

using System::Bio;
using System::EvpMdCtx;
using System::EvpPkey;
using System::openSslReason;
using System::UniqueFd;

std::string readKeyFile(const fs::path& file) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) System::throwSystem("open", file.native());
    auto text = System::readAll(fd.get(), maxKeyFileSize, file.native());
    if (!text) throw std::runtime_error("read(" + file.string() + "): too large for a key file");
    return std::move(*text);
}

EvpPkey rawPublicKey(const PublicKey& key) {
    return EvpPkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
}

}  // namespace

void PrivateKey::Free::operator()(evp_pkey_st* key) const noexcept {
    EVP_PKEY_free(key);
}

PrivateKey PrivateKey::fromPem(std::string_view pem) {
    if (pem.size() > maxKeyFileSize) throw std::runtime_error("too large for a PEM key");
    const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) throw std::runtime_error(openSslReason());
    // A passphrase callback that gives none: an encrypted key is refused, never prompted for.
    EVP_PKEY* key = PEM_read_bio_PrivateKey(
        bio.get(), nullptr, [](char*, int, int, void*) { return 0; }, nullptr);
    if (!key) throw std::runtime_error("no private key in PEM form: " + openSslReason());
    PrivateKey owned(key);
    if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) throw std::runtime_error("not an Ed25519 key");
    return owned;
}

PrivateKey PrivateKey::generate() {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (!key) throw std::runtime_error("generate Ed25519 key: " + openSslReason());
    return PrivateKey(key);
}

std::string PrivateKey::pem() const {
    const Bio bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw std::runtime_error("write private key: " + openSslReason());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

PublicKey PrivateKey::publicKey() const {
    PublicKey out{};
    std::size_t length = out.size();
    if (EVP_PKEY_get_raw_public_key(key_.get(), out.data(), &length) != 1 || length != out.size())
        throw std::runtime_error("public key: " + openSslReason());
    return out;
}

Signature PrivateKey::sign(std::string_view message) const {
    Signature out{};
    std::size_t length = out.size();
    const EvpMdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key_.get()) != 1 ||
        EVP_DigestSign(ctx.get(), out.data(), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1 ||
        length != out.size())
        throw std::runtime_error("sign: " + openSslReason());
    return out;
}

KeyPair makeKeyPair() {
    const PrivateKey key = PrivateKey::generate();
    return {.privateKeyPem = key.pem(), .publicKeyHex = publicKeyHex(key.publicKey())};
}

PrivateKey readPrivateKey(const fs::path& file) {
    const std::string text = readKeyFile(file);
    try {
        return PrivateKey::fromPem(text);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("read(" + file.string() + "): " + e.what());
    }
}

void writePrivateKeyFile(const fs::path& file, std::string_view pem) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));  // mode 0600
    if (!fd) System::throwSystem("create", file.native());
    try {
        if (!System::writeAll(fd.get(), pem)) System::throwSystem("write", file.native());
        if (::fsync(fd.get()) != 0) System::throwSystem("fsync", file.native());
        if (::close(fd.release()) != 0) System::throwSystem("close", file.native());
        // A hard link, unlike a rename, fails when the name is taken.
        if (::link(temp.c_str(), file.c_str()) != 0) System::throwSystem("create", file.native());
    } catch (...) {
        fd.reset();
        ::unlink(temp.c_str());
        throw;
    }
    ::unlink(temp.c_str());
}

std::optional<PublicKey> parsePublicKey(std::string_view hex) {
    PublicKey key{};
    if (!Hex::decode(hex, key, true)) return std::nullopt;
    return key;
}

std::string publicKeyHex(const PublicKey& key) {
    return Hex::encode(key);
}

bool signatureIsValid(const PublicKey& key, std::string_view message, const Signature& signature) {
    const EvpPkey pkey = rawPublicKey(key);
    const EvpMdCtx ctx(EVP_MD_CTX_new());
    const bool valid =
        pkey && ctx &&
        EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) == 1 &&
        EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                         reinterpret_cast<const unsigned char*>(message.data()),
                         message.size()) == 1;
    ERR_clear_error();
    return valid;
}

}  // namespace Update

}  // namespace tessaly
