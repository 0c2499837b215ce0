#include "https_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "tessaly/http_session.h"

using namespace tessaly;

namespace {

using namespace std::chrono_literals;
using TestSupport::HttpsServer;

// The test server is shared with other tests: stopping it must never wait on a client.

TEST(HttpsServer, StopsPromptlyWhileAClientSaysNothing) {
    auto server = std::make_unique<HttpsServer>();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server->port());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::this_thread::sleep_for(50ms);  // let it be accepted and wait for a handshake
    const auto start = std::chrono::steady_clock::now();
    server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ::close(client);
}

TEST(HttpsServer, StopsPromptlyWhileRepliesAreHeldBack) {
    auto server = std::make_unique<HttpsServer>();
    server->route("/never", {.neverAnswer = true});
    server->route("/stall", {.generatedBytes = 1000, .stallAfterBytes = 10});
    const HttpSession session({.caFile = server->caFile()});
    auto never =
        std::async(std::launch::async, [&, url = server->url("/never")] { session.get(url, 60s); });
    auto stall =
        std::async(std::launch::async, [&, url = server->url("/stall")] { session.get(url, 60s); });
    ASSERT_TRUE(server->waitForRequests(2, 5s));
    const auto start = std::chrono::steady_clock::now();
    server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_THROW(never.get(), TransportError);  // the clients see the connections go
    EXPECT_THROW(stall.get(), TransportError);
}

}  // namespace
