#include "tessaly/http_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <thread>

#include "https_server.h"

using namespace tessaly;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The server is on the loopback address: no proxy may come in between. Runs before main.
[[maybe_unused]] const bool noProxies = (TestSupport::ignoreProxies(), true);

// The message of what `request` threw, or "no error".
std::string failure(const std::function<void()>& request) {
    try {
        request();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

class HttpSessionTest : public testing::Test {
  protected:
    static TestSupport::HttpsServer& server() {
        static TestSupport::HttpsServer shared;  // one for all: starting one takes a while
        return shared;
    }
    static std::string serve(const std::string& path,
                             const TestSupport::HttpsServer::Reply& reply) {
        server().route(path, reply);
        return server().url(path);
    }
    std::string download(const HttpSession& session, const std::string& url) {
        return failure([&] { EXPECT_EQ(session.download(url, file_), 200); });
    }

    const HttpSession session_{{.caFile = server().caFile()}};
    const HttpSession capped_{{.caFile = server().caFile(), .maxDownloadBytes = 100'000}};
    const TestSupport::TempDir dir_;
    const fs::path file_ = dir_ / "update.zip";
};

TEST_F(HttpSessionTest, GetHandsBackStatusAndBodyAsTheyCameUpToItsLimit) {
    const auto moved = session_.get(serve("/get/moved", {302, "moved", "/get/limit"}), 5s);
    EXPECT_EQ(moved.status, 302);  // not followed
    EXPECT_EQ(moved.body, "moved");
    const std::size_t limit = HttpSession::maxResponseBytes;
    EXPECT_EQ(session_.get(serve("/get/limit", {.generatedBytes = limit}), 5s).body.size(), limit);
    for (const bool announced : {true, false}) {
        const std::string url =
            serve("/get/over", {.generatedBytes = limit + 1, .sendLength = announced});
        EXPECT_EQ(failure([&] { (void)session_.get(url, 5s); }),
                  "GET " + url + ": the body is larger than 1048576 bytes");
    }
}

TEST_F(HttpSessionTest, ADownloadFollowsHttpsRedirectsAndTakesUpToTheCap) {
    serve("/dl/new", {.generatedBytes = 100'000});
    serve("/dl/older", {.status = 301, .location = server().url("/dl/new")});
    EXPECT_EQ(download(capped_, serve("/dl/old", {302, "", "/dl/older"})), "no error");
    EXPECT_EQ(TestSupport::readFile(file_), std::string(100'000, 'x'));
}

TEST_F(HttpSessionTest, AFailedDownloadSaysWhyAndLeavesNoFile) {
    const std::string plain = "http://127.0.0.1:" + std::to_string(server().port());
    for (int i = 0; i <= 10; ++i)
        serve("/hop/" + std::to_string(i), {302, "", "/hop/" + std::to_string(i + 1)});
    serve("/hop/11", {});
    const HttpSession untrusting;
    const struct {
        const HttpSession& session;
        std::string url;
        const char* reason;
    } cases[] = {
        {session_, plain + "/dl", "Unsupported protocol"},
        {session_, serve("/dl/to-http", {302, "", plain + "/dl"}), "Unsupported protocol"},
        {session_, server().url("/hop/0"), "redirects"},
        {untrusting, serve("/dl/untrusted", {}), "certificate"},
        {session_, "https://localhost:" + std::to_string(server().port()) + "/dl/untrusted", "SSL"},
        {session_, serve("/dl/half", {.generatedBytes = 200'000, .cutAfterBytes = 100'000}),
         "partial file"},
        // A length beyond the cap is refused before the body; a body without one is counted.
        {capped_, serve("/dl/announced", {.generatedBytes = 1ull << 40, .cutAfterBytes = 10}),
         "larger than 100000 bytes"},
        {capped_, serve("/dl/streamed", {.generatedBytes = 64 << 20, .sendLength = false}),
         "larger than 100000 bytes"},
    };
    for (const auto& c : cases) {
        const std::string message = download(c.session, c.url);
        EXPECT_TRUE(message.starts_with("GET " + c.url + ": ")) << message;
        EXPECT_CONTAINS(message, c.reason);
        EXPECT_FALSE(fs::exists(file_));
    }
    EXPECT_TRUE(server().requests("/dl/untrusted").empty());
}

TEST_F(HttpSessionTest, AStopRequestEndsATransferAtOnce) {
    for (const std::string path : {"/stop/get", "/stop/download"}) {
        const std::string url = serve(path, {.neverAnswer = true});
        std::stop_source stop;
        std::chrono::steady_clock::time_point stopped;
        std::string message;
        {
            const std::jthread stopper([&] {
                for (int i = 0; i < 1000 && server().requests(path).empty(); ++i)
                    std::this_thread::sleep_for(5ms);
                stopped = std::chrono::steady_clock::now();
                stop.request_stop();
            });
            message = failure([&] {
                if (path == "/stop/get")
                    (void)session_.get(url, 3s, stop.get_token());
                else
                    (void)session_.download(url, file_, stop.get_token());
            });
        }
        EXPECT_EQ(message, "GET " + url + ": stopped");
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 600ms);
        EXPECT_FALSE(fs::exists(file_));
    }
}

TEST_F(HttpSessionTest, ADownloadNeverReplacesAFile) {
    TestSupport::writeFile(file_, "mine");
    EXPECT_EQ(download(session_, serve("/dl/x", {})), "open(" + file_.string() + "): File exists");
    EXPECT_EQ(TestSupport::readFile(file_), "mine");
}

// The file-size limit that makes the write fail is set in a child, not in the test process.
TEST_F(HttpSessionTest, AWriteThatFailsIsAFileErrorAndLeavesNoFile) {
    const std::string url = serve("/dl/big", {.generatedBytes = 100'000});
    const auto child = TestSupport::runInChild(
        [&] {
            const rlimit limit{50'000, 50'000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
            return download(session_, url);
        },
        10s);
    EXPECT_EQ(child.output, "write(" + file_.string() + "): File too large");
    EXPECT_FALSE(fs::exists(file_));
}

}  // namespace
