#include "tessaly/http_session.h"

#include <gtest/gtest.h>

#include <thread>

#include "https_server.h"

using namespace tessaly;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class HttpSessionTest : public testing::Test {
  protected:
    // What the transfer threw, or "no error".
    static std::string failure(const std::function<void()>& transfer) {
        try {
            transfer();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "no error";
    }
    std::string download(const HttpSession& session, const std::string& url) {
        return failure([&] { EXPECT_EQ(session.download(url, file_), 200); });
    }

    TestSupport::HttpsServer& server_ = TestSupport::HttpsServer::shared();
    const HttpSession session_{{.caFile = server_.caFile()}};
    const HttpSession capped_{{.caFile = server_.caFile(), .maxDownloadBytes = 100'000}};
    const TestSupport::TempDir dir_;
    const fs::path file_ = dir_ / "update.zip";
};

// A download follows https redirects and takes up to its cap; a get (a manifest) up to 1 MiB.
TEST_F(HttpSessionTest, TransfersTakeBodiesUpToTheirLimits) {
    server_.route("/dl/older", {301, "", server_.serve("/dl/new", {.generatedBytes = 100'000})});
    EXPECT_EQ(download(capped_, server_.serve("/dl/old", {302, "", "/dl/older"})), "no error");
    EXPECT_EQ(TestSupport::readFile(file_), std::string(100'000, 'x'));
    const std::size_t limit = HttpSession::maxResponseBytes;
    const std::string at = server_.serve("/get/1M", {.generatedBytes = limit});
    EXPECT_EQ(session_.get(at, 5s).body, std::string(limit, 'x'));
    const std::string over = server_.serve("/get/over", {.generatedBytes = limit + 1});
    EXPECT_THROW((void)session_.get(over, 5s), TooLargeError);
}

TEST_F(HttpSessionTest, AFailedDownloadSaysWhyAndLeavesNoFile) {
    const std::string port = std::to_string(server_.port()), http = "http://127.0.0.1:" + port;
    for (int i = 0; i <= 10; ++i)
        server_.route("/hop/" + std::to_string(i), {302, "", "/hop/" + std::to_string(i + 1)});
    const HttpSession untrusting;
    const struct {
        const HttpSession& session;
        std::string url;
        const char* reason;
    } cases[] = {
        {session_, http + "/dl", "Unsupported protocol"},
        {session_, server_.serve("/dl/to-http", {302, "", http + "/dl"}), "Unsupported protocol"},
        {session_, server_.url("/hop/0"), "redirects"},  // at most ten
        {untrusting, server_.serve("/dl/untrusted", {}), "certificate"},
        {session_, "https://localhost:" + port + "/dl/untrusted", "SSL"},  // not its name
        {session_, server_.serve("/dl/half", {.generatedBytes = 200, .cutAfterBytes = 100}),
         "partial file"},
        // A length beyond the cap is refused before the body; a body without one is counted.
        {capped_, server_.serve("/dl/long", {.generatedBytes = 1ull << 40, .cutAfterBytes = 10}),
         "larger than 100000 bytes"},
        {capped_, server_.serve("/dl/flood", {.generatedBytes = 64 << 20, .sendLength = false}),
         "larger than 100000 bytes"},
        {session_, "https://127.0.0.1:1/dl", "Couldn't connect to server"}};
    for (const auto& c : cases) {
        const std::string message = download(c.session, c.url);
        EXPECT_TRUE(message.starts_with("GET " + c.url + ": ")) << message;
        EXPECT_CONTAINS(message, c.reason);
        EXPECT_FALSE(fs::exists(file_));
    }
    EXPECT_TRUE(server_.requests("/dl/untrusted") == 0);
}

TEST_F(HttpSessionTest, AStopRequestEndsATransferAtOnce) {
    for (const std::string path : {"/stop/get", "/stop/download"}) {
        const std::string url = server_.serve(path, {.neverAnswer = true});
        std::string message;
        std::jthread transfer([&](std::stop_token stop) {
            message = failure([&] {
                if (path == "/stop/get")
                    (void)session_.get(url, 3s, stop);
                else
                    (void)session_.download(url, file_, stop);
            });
        });
        for (int i = 0; i < 1000 && server_.requests(path) == 0; ++i)
            std::this_thread::sleep_for(5ms);
        const auto stopped = std::chrono::steady_clock::now();
        transfer.request_stop();
        transfer.join();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 600ms);
        EXPECT_EQ(message, "GET " + url + ": stopped");
        EXPECT_FALSE(fs::exists(file_));
    }
}

}  // namespace
