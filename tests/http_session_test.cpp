#include "tessaly/http_session.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <random>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "https_server.h"
#include "test_support.h"

using namespace tessaly;

namespace {

using namespace std::chrono_literals;
using TestSupport::HttpsServer;
namespace fs = std::filesystem;

// The servers are on the loopback address: a proxy from the environment must not come in
// between. Runs before main, while there is one thread.
[[maybe_unused]] const bool noProxies = [] {
    TestSupport::ignoreProxies();
    return true;
}();

std::string randomBytes(std::size_t size) {
    std::mt19937 random(size);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// The message of the TransportError `request` throws; "" when it throws none.
template <typename Request>
std::string transportFailure(Request&& request) {
    try {
        request();
    } catch (const TransportError& e) {
        return e.what();
    }
    return "";
}

// A URL nothing listens on.
std::string closedUrl(std::string_view path) {
    HttpsServer gone;
    return gone.url(path);
}

class HttpSessionTest : public testing::Test {
  protected:
    HttpsServer server_;
    HttpSession session_{{.caFile = server_.caFile()}};
};

// --- get ---

TEST_F(HttpSessionTest, GetReturnsTheStatusAndBody) {
    server_.route("/m", {.body = "hello\n"});
    const HttpSession::Response response = session_.get(server_.url("/m"), 5s);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "hello\n");
}

TEST_F(HttpSessionTest, GetSendsAPlainGetWithoutCacheHeaders) {
    server_.route("/m", {.body = "x"});
    session_.get(server_.url("/m"), 5s);
    const std::vector<std::string> requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].starts_with("GET /m HTTP/1.1\r\n")) << requests[0];
    for (const char* header : {"Cache-Control", "Pragma", "If-", "Content-"})
        EXPECT_EQ(requests[0].find(header), std::string::npos) << requests[0];
}

TEST_F(HttpSessionTest, GetHandsBackErrorStatusesAndFollowsRedirects) {
    server_.route("/500", {.status = 500, .body = "broken"});
    server_.route("/302", {.status = 302, .body = "moved", .headers = {{"Location", "/500"}}});
    EXPECT_EQ(session_.get(server_.url("/500"), 5s).status, 500);
    EXPECT_EQ(session_.get(server_.url("/500"), 5s).body, "broken");
    const HttpSession::Response redirect = session_.get(server_.url("/302"), 5s);
    EXPECT_EQ(redirect.status, 500);
    EXPECT_EQ(redirect.body, "broken");
    EXPECT_EQ(session_.get(server_.url("/nowhere"), 5s).status, 404);
}

TEST_F(HttpSessionTest, GetTakesABodyUpToItsLimit) {
    server_.route("/m", {.generatedBytes = HttpSession::maxResponseBytes});
    EXPECT_EQ(session_.get(server_.url("/m"), 5s).body.size(), HttpSession::maxResponseBytes);
}

TEST_F(HttpSessionTest, GetRefusesABodyBeyondItsLimit) {
    server_.route("/announced", {.generatedBytes = HttpSession::maxResponseBytes + 1});
    server_.route("/streamed",
                  {.generatedBytes = HttpSession::maxResponseBytes + 1, .sendLength = false});
    for (const char* path : {"/announced", "/streamed"})
        EXPECT_CONTAINS(transportFailure([&] { session_.get(server_.url(path), 5s); }),
                        "larger than 1048576 bytes");
}

TEST_F(HttpSessionTest, GetRefusesPlainHttp) {
    const std::string url = "http://127.0.0.1:" + std::to_string(server_.port()) + "/m";
    EXPECT_CONTAINS(transportFailure([&] { session_.get(url, 5s); }), "Unsupported protocol");
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(HttpSessionTest, GetTimesOutOnASilentServer) {
    server_.route("/m", {.neverAnswer = true});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_CONTAINS(transportFailure([&] { session_.get(server_.url("/m"), 300ms); }),
                    "Timeout was reached");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(HttpSessionTest, AZeroTimeOutIsNotAnEndlessOne) {
    server_.route("/m", {.neverAnswer = true});
    std::stop_source safety;  // should the time-out be endless, the test still ends
    const std::jthread stopper([&](std::stop_token done) {
        std::mutex m;
        std::unique_lock lock(m);
        std::condition_variable_any().wait_for(lock, done, 5s, [] { return false; });
        safety.request_stop();
    });
    EXPECT_CONTAINS(
        transportFailure([&] { session_.get(server_.url("/m"), 0ms, safety.get_token()); }),
        "Timeout was reached");
}

TEST_F(HttpSessionTest, GetFailsWhenTheServerDropsTheBody) {
    server_.route("/m", {.body = std::string(1000, 'a'), .closeAfterBytes = 10});
    EXPECT_CONTAINS(transportFailure([&] { session_.get(server_.url("/m"), 5s); }), "partial file");
}

TEST_F(HttpSessionTest, AStopRequestEndsAGetPromptly) {
    server_.route("/m", {.neverAnswer = true});
    std::stop_source stop;
    std::jthread stopper([&] {
        if (server_.waitForRequests(1, 5s)) stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_CONTAINS(
        transportFailure([&] { session_.get(server_.url("/m"), 60s, stop.get_token()); }),
        "stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(HttpSessionTest, AStopRequestedBeforehandSendsNothing) {
    server_.route("/m", {.body = "x"});
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(session_.get(server_.url("/m"), 5s, stop.get_token()), TransportError);
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(HttpSessionTest, TransportErrorsNameTheRequestAndTheReason) {
    const std::string url = closedUrl("/x");
    const std::string message = transportFailure([&] { session_.get(url, 5s); });
    EXPECT_TRUE(message.starts_with("GET " + url + ": Couldn't connect to server")) << message;
}

TEST_F(HttpSessionTest, ManyThreadsShareOneSession) {
    server_.route("/a", {.body = "alpha"});
    server_.route("/b", {.status = 500, .body = "beta"});
    std::vector<std::string> bodies(8);
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < bodies.size(); ++i)
            threads.emplace_back(
                [&, i] { bodies[i] = session_.get(server_.url(i % 2 ? "/b" : "/a"), 10s).body; });
    }
    for (std::size_t i = 0; i < bodies.size(); ++i)
        EXPECT_EQ(bodies[i], i % 2 ? "beta" : "alpha");
}

// --- trust ---

TEST_F(HttpSessionTest, TheSystemTrustStoreDoesNotTrustTheTestServer) {
    server_.route("/m", {.body = "x"});
    EXPECT_CONTAINS(transportFailure([&] { HttpSession().get(server_.url("/m"), 5s); }),
                    "certificate");
    EXPECT_CONTAINS(transportFailure([&] { HttpSession::shared().get(server_.url("/m"), 5s); }),
                    "certificate");
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(HttpSessionTest, AnotherServersCertificateIsNotTrusted) {
    const HttpsServer other;
    server_.route("/m", {.body = "x"});
    const HttpSession trustsOther({.caFile = other.caFile()});
    EXPECT_CONTAINS(transportFailure([&] { trustsOther.get(server_.url("/m"), 5s); }),
                    "certificate");
}

TEST_F(HttpSessionTest, TheServerIsTrustedUnderItsNameToo) {
    server_.route("/m", {.body = "x"});
    EXPECT_EQ(session_.get("https://localhost:" + std::to_string(server_.port()) + "/m", 5s).body,
              "x");
}

TEST(HttpSessionTrust, TheCertificateMustNameTheHostAsked) {
    HttpsServer server("DNS:elsewhere.invalid");
    server.route("/m", {.body = "x"});
    const HttpSession session({.caFile = server.caFile()});
    EXPECT_CONTAINS(transportFailure([&] { session.get(server.url("/m"), 5s); }), "SSL");
    EXPECT_TRUE(server.requests().empty());
}

// --- download ---

class Download : public HttpSessionTest {
  protected:
    TestSupport::TempDir dir_;
    fs::path file_ = dir_ / "tessaly.tar.gz";
};

TEST_F(Download, WritesTheBodyToTheFileExactly) {
    const std::string bytes = randomBytes(3 * 1024 * 1024 + 17);
    server_.route("/t", {.body = bytes});
    EXPECT_EQ(session_.download(server_.url("/t"), file_), 200);
    EXPECT_EQ(TestSupport::readFile(file_), bytes);
}

TEST_F(Download, AnEmptyBodyMakesAnEmptyFile) {
    server_.route("/t", {});
    EXPECT_EQ(session_.download(server_.url("/t"), file_), 200);
    EXPECT_TRUE(fs::exists(file_));
    EXPECT_EQ(fs::file_size(file_), 0u);
}

TEST_F(Download, ReturnsTheStatusOfAnErrorPage) {
    EXPECT_EQ(session_.download(server_.url("/missing"), file_), 404);
}

TEST_F(Download, FollowsRedirectsToHttps) {
    server_.route("/old", {.status = 302, .body = "moved", .headers = {{"Location", "/older"}}});
    server_.route("/older", {.status = 301, .headers = {{"Location", server_.url("/new")}}});
    server_.route("/new", {.body = "the new version"});
    EXPECT_EQ(session_.download(server_.url("/old"), file_), 200);
    EXPECT_EQ(TestSupport::readFile(file_), "the new version");
}

TEST_F(Download, RefusesARedirectToHttp) {
    const std::string plain = "http://127.0.0.1:" + std::to_string(server_.port()) + "/new";
    server_.route("/old", {.status = 302, .headers = {{"Location", plain}}});
    server_.route("/new", {.body = "the new version"});
    EXPECT_CONTAINS(transportFailure([&] { session_.download(server_.url("/old"), file_); }),
                    "Unsupported protocol");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(Download, GivesUpAfterTenRedirects) {
    for (int i = 0; i < 11; ++i)
        server_.route("/" + std::to_string(i),
                      {.status = 302, .headers = {{"Location", "/" + std::to_string(i + 1)}}});
    server_.route("/11", {.body = "end"});
    EXPECT_CONTAINS(transportFailure([&] { session_.download(server_.url("/0"), file_); }),
                    "redirects");
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_EQ(session_.download(server_.url("/1"), file_), 200);  // ten are fine
    EXPECT_EQ(TestSupport::readFile(file_), "end");
}

TEST_F(Download, TakesABodyOfExactlyTheLimit) {
    const HttpSession limited({.caFile = server_.caFile(), .maxDownloadBytes = 100'000});
    server_.route("/announced", {.generatedBytes = 100'000});
    server_.route("/streamed", {.generatedBytes = 100'000, .sendLength = false});
    EXPECT_EQ(limited.download(server_.url("/announced"), file_), 200);
    EXPECT_EQ(fs::file_size(file_), 100'000u);
    fs::remove(file_);
    EXPECT_EQ(limited.download(server_.url("/streamed"), file_), 200);
    EXPECT_EQ(fs::file_size(file_), 100'000u);
}

TEST_F(Download, TheLargestLimitMeansNoLimit) {
    const HttpSession unlimited({.caFile = server_.caFile(), .maxDownloadBytes = UINT64_MAX});
    server_.route("/t", {.body = "x"});
    EXPECT_EQ(unlimited.download(server_.url("/t"), file_), 200);
    EXPECT_EQ(TestSupport::readFile(file_), "x");
}

TEST_F(Download, ABodyBeyondTheLimitFailsAndLeavesNoFile) {
    const HttpSession limited({.caFile = server_.caFile(), .maxDownloadBytes = 100'000});
    server_.route("/announced", {.generatedBytes = 100'001});
    // Far more than the limit, with no length announced: only counting can stop it.
    server_.route("/streamed", {.generatedBytes = 16 << 20, .sendLength = false});
    for (const char* path : {"/announced", "/streamed"}) {
        EXPECT_CONTAINS(transportFailure([&] { limited.download(server_.url(path), file_); }),
                        "larger than 100000 bytes");
        EXPECT_FALSE(fs::exists(file_));
    }
}

TEST_F(Download, ALengthBeyondTheLimitIsRefusedBeforeTheBody) {
    const HttpSession limited({.caFile = server_.caFile(), .maxDownloadBytes = 100'000});
    server_.route("/t", {.generatedBytes = 1ull << 40, .closeAfterBytes = 10});
    EXPECT_CONTAINS(transportFailure([&] { limited.download(server_.url("/t"), file_); }),
                    "larger than 100000 bytes");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(Download, AServerThatStopsHalfWayFailsAndLeavesNoFile) {
    server_.route("/t", {.body = randomBytes(200'000), .closeAfterBytes = 100'000});
    EXPECT_CONTAINS(transportFailure([&] { session_.download(server_.url("/t"), file_); }),
                    "partial file");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(Download, AStopRequestEndsItPromptlyAndLeavesNoFile) {
    server_.route("/t", {.generatedBytes = 1'000'000, .stallAfterBytes = 1000});
    std::stop_source stop;
    std::jthread stopper([&] {
        if (server_.waitForRequests(1, 5s)) stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_CONTAINS(
        transportFailure([&] { session_.download(server_.url("/t"), file_, stop.get_token()); }),
        "stopped");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(Download, AnUntrustedServerFailsAndLeavesNoFile) {
    server_.route("/t", {.body = "x"});
    EXPECT_CONTAINS(transportFailure([&] { HttpSession().download(server_.url("/t"), file_); }),
                    "certificate");
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(Download, NeverOverwritesAnExistingFile) {
    server_.route("/t", {.body = "new"});
    TestSupport::writeFile(file_, "mine");
    try {
        session_.download(server_.url("/t"), file_);
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::file_exists);
        EXPECT_CONTAINS(e.what(), "open(" + file_.string() + ")");
    }
    EXPECT_EQ(TestSupport::readFile(file_), "mine");
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(Download, AFileThatCannotBeCreatedIsAFileError) {
    server_.route("/t", {.body = "new"});
    EXPECT_THROW(session_.download(server_.url("/t"), dir_ / "missing" / "t"), std::system_error);
}

// The file-size limit that makes write fail is set in a child, and the server is started
// there too: a fork is only safe while the test process has one thread.
TEST(DownloadFileErrors, AFailedWriteIsAFileErrorAndLeavesNoFile) {
    const TestSupport::TempDir dir;
    const fs::path file = dir / "tessaly.tar.gz";
    const TestSupport::ChildResult child = TestSupport::runInChild(
        [&] {
            HttpsServer server;
            server.route("/t", {.generatedBytes = 100'000});
            const rlimit limit{50'000, 50'000};
            setrlimit(RLIMIT_FSIZE, &limit);
            signal(SIGXFSZ, SIG_IGN);
            try {
                HttpSession({.caFile = server.caFile()}).download(server.url("/t"), file);
                return std::string("no error");
            } catch (const std::system_error& e) {
                return std::string(e.code() == std::errc::file_too_large ? "EFBIG " : "other ") +
                       e.what();
            } catch (const std::exception& e) {
                return std::string("unexpected ") + e.what();
            }
        },
        10s);
    ASSERT_TRUE(child.finished);
    EXPECT_TRUE(child.output.starts_with("EFBIG write(" + file.string() + ")")) << child.output;
    EXPECT_FALSE(fs::exists(file));
}

}  // namespace
