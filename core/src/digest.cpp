#include "digest.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace Digest {
namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

}  // namespace

Sha256 sha256(std::string_view bytes) {
    Sha256 out{};
    MdCtx ctx(EVP_MD_CTX_new());
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), out.data(), &length) != 1 || length != out.size())
        throw std::runtime_error("SHA-256: OpenSSL digest failed");
    return out;
}

}  // namespace Digest
