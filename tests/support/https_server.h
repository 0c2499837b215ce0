#pragma once
// An HTTPS server on 127.0.0.1 for tests of the network code. It makes its own key and
// self-signed certificate (for IP 127.0.0.1 and DNS localhost by default) when it starts; a client
// trusts it by taking caFile() as its trust anchors. Every connection carries one request
// and is served on a thread of its own, so a reply that never comes holds up nothing else.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "test_support.h"

namespace tessaly {

namespace TestSupport {

class HttpsServer {
  public:
    static constexpr std::uint64_t unlimited = UINT64_MAX;

    // What a path answers. The body sent is `body` followed by `generatedBytes` bytes 'x',
    // streamed without being held in memory.
    struct Reply {
        int status = 200;
        std::string body{};
        // Sent as given, after the status line; Content-Length and "Connection: close" are
        // added unless already among them.
        std::vector<std::pair<std::string, std::string>> headers{};
        std::uint64_t generatedBytes = 0;
        // False: no Content-Length, the body ends when the connection closes.
        bool sendLength = true;
        // Take the request, then send nothing until the server stops.
        bool neverAnswer = false;
        // Send the headers (with the full length), then only this many body bytes, then
        // drop the connection.
        std::uint64_t closeAfterBytes = unlimited;
        // Send the headers, then this many body bytes, then nothing more until the server
        // stops.
        std::uint64_t stallAfterBytes = unlimited;
    };

    static constexpr const char* loopbackNames = "IP:127.0.0.1,DNS:localhost";

    // Listens on an ephemeral port of 127.0.0.1 with a certificate for `certificateNames`
    // (OpenSSL's subjectAltName syntax). Throws std::runtime_error naming what failed.
    explicit HttpsServer(const std::string& certificateNames = loopbackNames);
    // Drops every connection, even one a client holds open, and joins all threads.
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    // Answers requests for exactly `path` (e.g. "/manifest.json") with `reply`; other
    // paths get 404. May be called while clients are connected.
    void route(std::string path, Reply reply);

    // "https://127.0.0.1:PORT" followed by `path`.
    std::string url(std::string_view path) const;
    std::uint16_t port() const { return port_; }
    // The certificate, PEM: the trust anchor a client needs.
    const std::filesystem::path& caFile() const { return caFile_; }

    // The head (request line and header lines, CRLF-separated) of each request taken, in
    // order of arrival.
    std::vector<std::string> requests() const;
    // Waits until at least `count` requests were taken; false when `timeout` passed first.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    struct Tls;

    void acceptLoop();
    void serve(int fd);
    void waitUntilStopping();
    void forget(int fd);

    TempDir dir_;
    std::filesystem::path caFile_;
    std::unique_ptr<Tls> tls_;
    int listener_ = -1;
    int wake_ = -1;  // eventfd that wakes the accepting thread
    std::uint16_t port_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    std::map<std::string, Reply> routes_;
    std::vector<std::string> requests_;
    std::vector<int> open_;  // connections being served
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// A proxy from the environment must not come between a client and a server on the loopback
// address. Call while the process has one thread (it changes the environment).
void ignoreProxies();

}  // namespace TestSupport

}  // namespace tessaly
