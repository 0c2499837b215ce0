#include "digest.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace tessaly {

namespace Digest {
namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct MdFree {
    void operator()(EVP_MD* md) const noexcept { EVP_MD_free(md); }
};
using Md = std::unique_ptr<EVP_MD, MdFree>;

// Fetched once: looking the algorithm up on every call takes a lock that threads share.
const EVP_MD* sha256Algorithm() {
    static const Md md(EVP_MD_fetch(nullptr, "SHA256", nullptr));
    return md.get();
}

// One context per thread, reset for each digest rather than allocated.
EVP_MD_CTX* contextForThisThread() {
    thread_local const MdCtx ctx(EVP_MD_CTX_new());
    return ctx.get();
}

}  // namespace

Sha256 sha256(std::string_view bytes) {
    Sha256 out{};
    EVP_MD_CTX* ctx = contextForThisThread();
    const EVP_MD* md = sha256Algorithm();
    unsigned int length = 0;
    if (!ctx || !md || EVP_DigestInit_ex(ctx, md, nullptr) != 1 ||
        EVP_DigestUpdate(ctx, bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(ctx, out.data(), &length) != 1 || length != out.size())
        throw std::runtime_error("SHA-256: OpenSSL digest failed");
    return out;
}

}  // namespace Digest

}  // namespace tessaly
