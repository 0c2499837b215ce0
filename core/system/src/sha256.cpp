#include "tessaly/system/sha256.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "tessaly/system/io.h"
#include "tessaly/system/openssl_handles.h"
#include "tessaly/system/system_error.h"

namespace tessaly::System {
namespace {

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
    thread_local const EvpMdCtx ctx(EVP_MD_CTX_new());
    return ctx.get();
}

[[noreturn]] void digestFailed() {
    throw std::runtime_error("SHA-256: OpenSSL digest failed");
}

EVP_MD_CTX* startDigest() {
    EVP_MD_CTX* ctx = contextForThisThread();
    const EVP_MD* md = sha256Algorithm();
    if (!ctx || !md || EVP_DigestInit_ex(ctx, md, nullptr) != 1) digestFailed();
    return ctx;
}

Sha256 finishDigest(EVP_MD_CTX* ctx) {
    Sha256 out{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx, out.data(), &length) != 1 || length != out.size()) digestFailed();
    return out;
}

}  // namespace

Sha256 sha256(std::string_view bytes) {
    EVP_MD_CTX* ctx = startDigest();
    if (EVP_DigestUpdate(ctx, bytes.data(), bytes.size()) != 1) digestFailed();
    return finishDigest(ctx);
}

Sha256 sha256OfFile(int fd, std::string_view name) {
    EVP_MD_CTX* ctx = startDigest();
    constexpr std::size_t bufferSize = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    for (;;) {
        const ssize_t n = readFull(fd, {buffer.get(), bufferSize});
        if (n < 0) throwSystem("read", name);
        if (EVP_DigestUpdate(ctx, buffer.get(), static_cast<std::size_t>(n)) != 1) digestFailed();
        if (static_cast<std::size_t>(n) < bufferSize) return finishDigest(ctx);
    }
}

}  // namespace tessaly::System
