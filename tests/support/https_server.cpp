#include "https_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tessaly {

namespace TestSupport {
namespace {

template <auto Free>
struct FreeWith {
    template <typename T>
    void operator()(T* p) const noexcept {
        Free(p);
    }
};
using Key = std::unique_ptr<EVP_PKEY, FreeWith<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, FreeWith<X509_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, FreeWith<X509_EXTENSION_free>>;
using Context = std::unique_ptr<SSL_CTX, FreeWith<SSL_CTX_free>>;
using Connection = std::unique_ptr<SSL, FreeWith<SSL_free>>;
using File = std::unique_ptr<FILE, FreeWith<std::fclose>>;

constexpr std::size_t maxHeadBytes = 64 * 1024;
constexpr auto lingerTime = std::chrono::seconds(1);

[[noreturn]] void failTls(const std::string& operation) {
    char reason[256] = "unknown reason";
    if (const unsigned long code = ERR_get_error()) ERR_error_string_n(code, reason, sizeof reason);
    throw std::runtime_error(operation + ": " + reason);
}

[[noreturn]] void failSystem(const std::string& operation) {
    throw std::runtime_error(operation + ": " + std::strerror(errno));
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    const Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    if (!extension || X509_add_ext(cert, extension.get(), -1) != 1) failTls("X509_add_ext");
}

// Self-signed, valid from an hour ago for a day, for `names`.
Certificate makeCertificate(EVP_PKEY* key, const std::string& names) {
    Certificate cert(X509_new());
    if (!cert) failTls("X509_new");
    std::uint64_t serial = 0;
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) != 1)
        failTls("RAND_bytes");
    X509_set_version(cert.get(), X509_VERSION_3);
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), serial >> 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    const auto* commonName = reinterpret_cast<const unsigned char*>("Tessaly test server");
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, commonName, -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    addExtension(cert.get(), NID_subject_alt_name, names.c_str());
    if (X509_sign(cert.get(), key, EVP_sha256()) == 0) failTls("X509_sign");
    return cert;
}

void writePem(const std::filesystem::path& file, X509* cert) {
    const File out(std::fopen(file.c_str(), "w"));
    if (!out) failSystem("fopen(" + file.string() + ")");
    if (PEM_write_X509(out.get(), cert) != 1) failTls("PEM_write_X509(" + file.string() + ")");
}

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

bool hasHeader(const HttpsServer::Reply& reply, std::string_view name) {
    return std::any_of(reply.headers.begin(), reply.headers.end(), [&](const auto& header) {
        return header.first.size() == name.size() &&
               strncasecmp(header.first.data(), name.data(), name.size()) == 0;
    });
}

std::string responseHead(const HttpsServer::Reply& reply) {
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " ";
    head.append(reasonPhrase(reply.status)).append("\r\n");
    for (const auto& [name, value] : reply.headers)
        head += name + ": " + value + "\r\n";
    if (reply.sendLength && !hasHeader(reply, "Content-Length"))
        head +=
            "Content-Length: " + std::to_string(reply.body.size() + reply.generatedBytes) + "\r\n";
    if (!hasHeader(reply, "Connection")) head += "Connection: close\r\n";
    return head + "\r\n";
}

bool sendAll(SSL* ssl, std::string_view bytes) {
    while (!bytes.empty()) {
        const int n = SSL_write(ssl, bytes.data(),
                                static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)));
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Sends the first `count` bytes of the reply's body.
bool sendBody(SSL* ssl, const HttpsServer::Reply& reply, std::uint64_t count) {
    const std::size_t fromBody =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, reply.body.size()));
    if (!sendAll(ssl, std::string_view(reply.body).substr(0, fromBody))) return false;
    const std::string chunk(64 * 1024, 'x');
    for (std::uint64_t left = count - fromBody; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (!sendAll(ssl, std::string_view(chunk).substr(0, n))) return false;
        left -= n;
    }
    return true;
}

// Reads up to the blank line that ends the head; empty when the client gave none.
std::string readHead(SSL* ssl) {
    std::string received;
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos) {
        if (received.size() > maxHeadBytes) return {};
        const int n = SSL_read(ssl, buffer, sizeof buffer);
        if (n <= 0) return {};
        received.append(buffer, static_cast<std::size_t>(n));
    }
    return received.substr(0, received.find("\r\n\r\n"));
}

// The request target of "GET /path HTTP/1.1".
std::string targetOf(std::string_view head) {
    const std::size_t start = head.find(' ');
    if (start == std::string_view::npos) return {};
    const std::size_t end = head.find(' ', start + 1);
    return std::string(
        head.substr(start + 1, end == std::string_view::npos ? end : end - start - 1));
}

// Lets the client read everything before the socket goes: closing with its last bytes
// (its close_notify) unread would reset the connection and could cost it our last data.
void lingeringClose(int fd) {
    ::shutdown(fd, SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + lingerTime;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}

// A client that goes away mid-reply must end the writing thread's work, not the process.
void ignoreBrokenPipesOnThisThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace

struct HttpsServer::Tls {
    Context context;
};

HttpsServer::HttpsServer(const std::string& certificateNames)
    : caFile_(dir_ / "ca.pem"), tls_(std::make_unique<Tls>()) {
    const Key key(EVP_EC_gen("P-256"));
    if (!key) failTls("EVP_EC_gen(P-256)");
    const Certificate cert = makeCertificate(key.get(), certificateNames);
    writePem(caFile_, cert.get());

    tls_->context.reset(SSL_CTX_new(TLS_server_method()));
    SSL_CTX* context = tls_->context.get();
    if (!context) failTls("SSL_CTX_new");
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate(context, cert.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context, key.get()) != 1)
        failTls("SSL_CTX_use_certificate");

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) failSystem("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(listener_);
        errno = error;
        failSystem("listen(127.0.0.1)");
    }
    port_ = ntohs(address.sin_port);
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (wake_ < 0) {
        ::close(listener_);
        failSystem("eventfd");
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpsServer::~HttpsServer() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    acceptor_.join();
    {
        // Unblocks every read and write a connection thread may be stuck in.
        const std::lock_guard lock(mutex_);
        for (const int fd : open_)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& connection : connections_)
        connection.join();
    ::close(wake_);
    ::close(listener_);
}

void HttpsServer::route(std::string path, Reply reply) {
    const std::lock_guard lock(mutex_);
    routes_[std::move(path)] = std::move(reply);
}

std::string HttpsServer::url(std::string_view path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> HttpsServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

bool HttpsServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void HttpsServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
        if (fds[1].revents != 0) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const std::lock_guard lock(mutex_);
        open_.push_back(fd);
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void HttpsServer::serve(int fd) {
    ignoreBrokenPipesOnThisThread();
    const Connection ssl(SSL_new(tls_->context.get()));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1 || SSL_accept(ssl.get()) != 1) return forget(fd);
    const std::string head = readHead(ssl.get());
    if (head.empty()) return forget(fd);

    Reply reply{.status = 404, .body = "not found\n"};
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(head);
        if (const auto it = routes_.find(targetOf(head)); it != routes_.end()) reply = it->second;
    }
    changed_.notify_all();
    if (reply.neverAnswer) {
        waitUntilStopping();
        return forget(fd);
    }

    const std::uint64_t total = reply.body.size() + reply.generatedBytes;
    const std::uint64_t sent = std::min({total, reply.closeAfterBytes, reply.stallAfterBytes});
    if (!sendAll(ssl.get(), responseHead(reply)) || !sendBody(ssl.get(), reply, sent))
        return forget(fd);
    if (sent < total && reply.stallAfterBytes <= reply.closeAfterBytes) {
        waitUntilStopping();
    } else if (sent == total) {
        SSL_shutdown(ssl.get());
        lingeringClose(fd);
    }
    forget(fd);
}

void HttpsServer::waitUntilStopping() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopping_; });
}

void HttpsServer::forget(int fd) {
    // Under the lock, so the destructor never shuts down a number already reused.
    const std::lock_guard lock(mutex_);
    open_.erase(std::find(open_.begin(), open_.end(), fd));
    ::close(fd);
}

void ignoreProxies() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

}  // namespace TestSupport

}  // namespace tessaly
