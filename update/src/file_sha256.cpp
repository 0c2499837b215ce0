#include "file_sha256.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "openssl_handles.h"

namespace tessaly {

namespace Update {

Sha256 sha256OfFile(int fd, const std::string& name) {
    const EvpMdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256(" + name + "): " + openSslReason());
    constexpr std::size_t bufferSize = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    while (true) {
        const ssize_t n = ::read(fd, buffer.get(), bufferSize);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::system_error(errno, std::generic_category(), "read(" + name + ")");
        if (n == 0) break;
        if (EVP_DigestUpdate(ctx.get(), buffer.get(), static_cast<std::size_t>(n)) != 1)
            throw std::runtime_error("SHA-256(" + name + "): " + openSslReason());
    }
    Sha256 digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1 || length != digest.size())
        throw std::runtime_error("SHA-256(" + name + "): " + openSslReason());
    return digest;
}

}  // namespace Update

}  // namespace tessaly
