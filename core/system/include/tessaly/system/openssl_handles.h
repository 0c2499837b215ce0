#pragma once
// Owners of the OpenSSL objects the project uses.

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <memory>
#include <string>

namespace tessaly::System {

struct EvpPkeyFree {
    void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using EvpPkey = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

struct EvpMdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
using EvpMdCtx = std::unique_ptr<EVP_MD_CTX, EvpMdCtxFree>;

struct BioFree {
    void operator()(BIO* bio) const noexcept { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

// The reason OpenSSL gives for its latest failure on this thread, and clears the rest.
std::string openSslReason();

}  // namespace tessaly::System
