#pragma once
// An HTTPS server on 127.0.0.1 for tests of the network code: https_server.py, which python3
// runs for as long as the object lives. Its certificate names IP 127.0.0.1 only; a client
// trusts it by taking caFile() as its trust anchors. Every connection has a thread there.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace tessaly::TestSupport {

class HttpsServer {
  public:
    // The status, then `body` and `generatedBytes` bytes 'x' made as they are sent.
    struct Reply {
        int status = 200;
        std::string body{};
        std::string location{};  // a Location header, for redirects
        std::uint64_t generatedBytes = 0;
        bool sendLength = true;           // false: no Content-Length; the close ends the body
        bool neverAnswer = false;         // takes the request, then sends nothing for 5 s
        std::int64_t cutAfterBytes = -1;  // >= 0: only this many body bytes, then a hang-up
    };

    HttpsServer();   // listening once it returns; throws std::runtime_error when it cannot
    ~HttpsServer();  // ends it, dropping every connection
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    // GET `path` gets `reply` from now on; paths never routed get 404.
    void route(const std::string& path, const Reply& reply);
    std::string url(const std::string& path) const;  // "https://127.0.0.1:PORT" + path
    int port() const { return port_; }
    const std::filesystem::path& caFile() const { return caFile_; }
    // The heads (request line and header lines) of the requests for `path` so far.
    std::vector<std::string> requests(const std::string& path) const;

  private:
    void stop() noexcept;

    TempDir dir_;
    std::filesystem::path caFile_;
    pid_t pid_ = 0;
    int input_ = -1;  // the server's standard input; it ends when this closes
    int port_ = 0;
};

// A proxy from the environment must not come between a client and a server on the loopback
// address. Call while the process has one thread (it changes the environment).
void ignoreProxies();

}  // namespace tessaly::TestSupport
