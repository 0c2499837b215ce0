#pragma once
// An HTTPS server on 127.0.0.1 for tests of the network code: https_server.py, which python3
// runs for as long as the object lives. Its certificate names IP 127.0.0.1 only; a client
// trusts it by taking caFile() as its trust anchors. Each connection has a thread there.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace tessaly::TestSupport {

// A proxy from the environment must not come between a client and a server on the loopback
// address. Call while the process has one thread (it changes the environment).
inline void ignoreProxies() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

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

    // Listening once it returns. Debian's python3, which set-up installs, starts quicker than
    // a wrapper earlier on the PATH.
    HttpsServer() {
        const std::string command =
            std::string("exec ") +
            (::access("/usr/bin/python3", X_OK) ? "python3" : "/usr/bin/python3") +
            " '" TESSALY_HTTPS_SERVER_SCRIPT "' '" + dir_.path().string() + "'";
        input_.reset(::popen(command.c_str(), "we"));
        for (int i = 0; i < 2000 && input_ && !std::filesystem::exists(dir_ / "port"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        port_ = std::atoi(readFile(dir_ / "port").c_str());
        if (port_ == 0) throw std::runtime_error(TESSALY_HTTPS_SERVER_SCRIPT ": did not start");
    }
    // One for a whole test program, since starting one takes a moment. The first call unsets
    // the proxies (see ignoreProxies), so it must come while the program has one thread.
    static HttpsServer& shared() {
        static HttpsServer server = (ignoreProxies(), HttpsServer());
        return server;
    }

    // GET `path` gets `reply` from now on; paths never routed get 404.
    void route(const std::string& path, const Reply& r) {
        std::string name = path;
        std::ranges::replace(name, '/', '_');
        writeFile(dir_ / "part", std::to_string(r.status) + " " + std::to_string(r.generatedBytes) +
                                     " " + std::to_string(r.cutAfterBytes) +
                                     (r.sendLength ? " 1 " : " 0 ") +
                                     (r.neverAnswer ? "1 " : "0 ") + r.location + "\n" + r.body);
        std::filesystem::rename(dir_ / "part", dir_ / name);  // whole, all at once
    }
    std::string url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::string serve(const std::string& path, const Reply& reply) {
        route(path, reply);
        return url(path);
    }
    int port() const { return port_; }
    const std::filesystem::path& caFile() const { return caFile_; }
    // How many requests for `path` came so far.
    int requests(const std::string& path) const {
        const std::string log = readFile(dir_ / "requests"), line = "GET " + path + " HTTP/";
        int count = 0;
        for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
            ++count;
        return count;
    }

  private:
    TempDir dir_;
    std::filesystem::path caFile_ = dir_ / "ca.pem";
    std::unique_ptr<FILE, int (*)(FILE*)> input_{nullptr, ::pclose};  // the server ends with it
    int port_ = 0;
};

}  // namespace tessaly::TestSupport
