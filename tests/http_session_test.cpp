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

// Manifests come by get: the status as it came, no redirect followed, a body of at most 1 MiB.
TEST_F(HttpSessionTest, GetHandsBackTheStatusAndBodyAsTheyCameUpToItsLimit) {
    EXPECT_EQ(session_.get(server_.serve("/get/moved", {302, "", "/get/1M"}), 5s).status, 302);
    const std::size_t limit = HttpSession::maxResponseBytes;
    const std::string at = server_.serve("/get/1M", {.generatedBytes = limit});
    EXPECT_EQ(session_.get(at, 5s).body, std::string(limit, 'x'));
    const std::string over = server_.serve("/get/over", {.generatedBytes = limit + 1});
    EXPECT_THROW((void)session_.get(over, 5s), TooLargeError);
}

TEST_F(HttpSessionTest, ADownloadFollowsHttpsRedirectsAndTakesUpToTheCap) {
    server_.route("/dl/older", {301, "", server_.serve("/dl/new", {.generatedBytes = 100'000})});
    EXPECT_EQ(download(capped_, server_.serve("/dl/old", {302, "", "/dl/older"})), "no error");
    EXPECT_EQ(TestSupport::readFile(file_), std::string(100'000, 'x'));
}

TEST_F(HttpSessionTest, AFailedDownloadSaysWhyAndLeavesNoFile) {
    const std::string port = std::to_string(server_.port()), http = "http://127.0.0.1:" + port;
    for (int i = 0; i <= 10; ++i)
        server_.route("/hop/" + std::to_string(i), {302, "", "/hop/" + std::to_string(i + 1)});
    server_.route("/hop/11", {});
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
    EXPECT_TRUE(server_.requests("/dl/untrusted").empty());
}

TEST_F(HttpSessionTest, AStopRequestEndsATransferAtOnce) {
    for (const std::string path : {"/stop/get", "/stop/download"}) {
        const std::string url = server_.serve(path, {.neverAnswer = true});
        std::stop_source stop;
        std::chrono::steady_clock::time_point stopped;
        std::string message;
        {
            const std::jthread stopper([&] {
                for (int i = 0; i < 1000 && server_.requests(path).empty(); ++i)
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

// It never replaces a file; one that cannot be written is a file error. The file-size limit
// that makes the write fail is set in a child, not in the test program.
TEST_F(HttpSessionTest, AFileItCannotMakeOrWriteIsAFileError) {
    TestSupport::writeFile(file_, "mine");
    EXPECT_EQ(download(session_, server_.url("/dl/mine")),
              "open(" + file_.string() + "): File exists");
    EXPECT_EQ(TestSupport::readFile(file_), "mine");
    fs::remove(file_);
    const std::string url = server_.serve("/dl/big", {.generatedBytes = 100'000});
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
