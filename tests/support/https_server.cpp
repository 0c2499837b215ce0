#include "https_server.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace tessaly::TestSupport {

namespace fs = std::filesystem;

HttpsServer::HttpsServer() : caFile_(dir_ / "ca.pem") {
    fs::create_directory(dir_ / "routes");
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // Debian's own python3, the one set-up installs, when there is one: quicker to start than
    // a wrapper earlier on the PATH.
    std::string args[] = {::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3",
                          TESSALY_HTTPS_SERVER_SCRIPT, dir_.path()};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), nullptr};
    if (::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) pid_ = 0;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    char port[16] = {};  // the port comes in one line, or nothing when the server failed
    port_ = ::read(out[0], port, sizeof port - 1) > 0 ? std::atoi(port) : 0;
    ::close(out[0]);
    if (port_ == 0) {
        stop();
        throw std::runtime_error("python3 " TESSALY_HTTPS_SERVER_SCRIPT ": did not start");
    }
}

HttpsServer::~HttpsServer() {
    stop();
}

void HttpsServer::stop() noexcept {
    ::close(std::exchange(input_, -1));
    if (pid_ > 0) ::waitpid(std::exchange(pid_, 0), nullptr, 0);
}

void HttpsServer::route(const std::string& path, const Reply& reply) {
    std::string file;
    for (const unsigned char c : path)
        file += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    const fs::path routes = dir_ / "routes";
    writeFile(routes / ".part",
              std::to_string(reply.status) + " " + std::to_string(reply.generatedBytes) + " " +
                  std::to_string(reply.cutAfterBytes) + " " + (reply.sendLength ? "1 " : "0 ") +
                  (reply.neverAnswer ? "1 " : "0 ") + reply.location + "\n" + reply.body);
    fs::rename(routes / ".part", routes / file);  // whole, should a request come meanwhile
}

std::string HttpsServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> HttpsServer::requests(const std::string& path) const {
    const std::string log = readFile(dir_ / "requests");
    std::vector<std::string> heads;
    for (std::size_t at = 0, end; (end = log.find("\n\n", at)) != std::string::npos; at = end + 2)
        if (log.compare(at, path.size() + 5, "GET " + path + " ") == 0)
            heads.push_back(log.substr(at, end - at));
    return heads;
}

void ignoreProxies() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
}

}  // namespace tessaly::TestSupport
