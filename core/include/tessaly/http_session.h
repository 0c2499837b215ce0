#pragma once
// HTTPS requests: the update manifest and the downloads of new versions. Peer and host
// verification are always on; only https is spoken, redirects included.
//
// Errors: a failed transfer throws TransportError naming the request and the reason; a
// failure of the file system throws std::system_error naming the operation and the file.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <stop_token>
#include <string>

namespace tessaly {

// A failed transfer (connect, TLS, time-out, too large, stopped). The message names the
// request and libcurl's reason, e.g. "GET https://h/x: Couldn't connect to server".
class TransportError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The server's identity could not be verified, or no secure connection could be made.
class TlsError : public TransportError {
  public:
    using TransportError::TransportError;
};

// A body beyond the session's limit: not a fault of the connection but of what was sent.
class TooLargeError : public TransportError {
  public:
    using TransportError::TransportError;
};

// The client's options; every request makes and owns its own connection, so one session
// serves any number of threads at once.
class HttpSession {
  public:
    struct Options {
        // Trust anchors (PEM file) to verify servers with, for tests; empty means the
        // system's trust store.
        std::filesystem::path caFile;
        // Largest body a download may have; beyond it the download fails.
        std::uint64_t maxDownloadBytes = 512ull << 20;
    };

    struct Response {
        long status = 0;
        std::string body;
    };

    // Largest body `get` takes; a manifest is a few hundred bytes.
    static constexpr std::size_t maxResponseBytes = 1 << 20;

    HttpSession();  // the system's trust store, default limits
    explicit HttpSession(Options options);

    // The application's one session (system trust store).
    static const HttpSession& shared();

    // GET without extra headers, following at most 10 redirects (https only), the whole
    // transfer within `timeout`; any status comes back as it is. Throws TransportError on a
    // transport failure, a body beyond maxResponseBytes or a stop request.
    [[nodiscard]] Response get(const std::string& url, std::chrono::milliseconds timeout,
                               std::stop_token stop = {}) const;

    // Downloads to `file`, which it creates (it must not exist), following at most 10
    // redirects, https only; returns the final status, whatever it is. A stalled server
    // fails it (connect within 30 s, then at least 1 byte/s over any 60 s). Throws
    // TransportError on a transport failure, a body beyond maxDownloadBytes or a stop
    // request, std::system_error naming the file when the file system fails; on either
    // the partial file is removed.
    [[nodiscard]] long download(const std::string& url, const std::filesystem::path& file,
                                std::stop_token stop = {}) const;

  private:
    Options options_;
};

}  // namespace tessaly
