#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "https_server.h"
#include "tessaly/updater.h"

using namespace tessaly;

namespace {

using namespace std::chrono_literals;
using TestSupport::HttpsServer;

constexpr const char* current = "1.2";
constexpr const char* goodUrl = "https://downloads.example.com/tessaly-1.3.tar.gz";

std::string manifest(const std::string& version, const std::string& url,
                     const std::string& extra = "") {
    return R"({"version":")" + version + R"(","url":")" + url + "\"" + extra + "}";
}

// --- reading a manifest body ---

TEST(ReadManifest, OffersANewerVersionWithItsUrlAndNotes) {
    const auto offer =
        Updater::readManifest(manifest("1.3", goodUrl, R"(,"notes":"Faster packing.")"), current);
    ASSERT_TRUE(offer);
    EXPECT_EQ(*offer, (UpdateInfo{"1.3", goodUrl, "Faster packing."}));
}

TEST(ReadManifest, KeepsTheVersionAndUrlExactlyAsGiven) {
    const std::string url = "https://Downloads.Example.com:8443/a%20b/t.tar.gz?x=1#f";
    const auto offer = Updater::readManifest(manifest("01.3.0-rc", url), current);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->version, "01.3.0-rc");
    EXPECT_EQ(offer->downloadURL, url);
}

TEST(ReadManifest, NotesThatAreAbsentOrNotAStringAreEmpty) {
    for (const char* extra : {"", R"(,"notes":null)", R"(,"notes":5)", R"(,"notes":{"en":"x"})",
                              R"(,"notes":["x"])", R"(,"notes":true)"}) {
        const auto offer = Updater::readManifest(manifest("2.0", goodUrl, extra), current);
        ASSERT_TRUE(offer) << extra;
        EXPECT_EQ(offer->notes, "") << extra;
    }
}

TEST(ReadManifest, OtherMembersAreIgnored) {
    const auto offer = Updater::readManifest(
        manifest("2.0", goodUrl, R"(,"sha256":"ab","size":12,"mirrors":[{"url":"http://x"}])"),
        current);
    ASSERT_TRUE(offer);
    EXPECT_EQ(*offer, (UpdateInfo{"2.0", goodUrl, ""}));
}

TEST(ReadManifest, OnlyATopLevelObjectIsAManifest) {
    for (const std::string& body :
         {"[" + manifest("2.0", goodUrl) + "]", std::string(R"("2.0")"), std::string("2"),
          std::string("null"), std::string("true"), std::string("[]")})
        EXPECT_FALSE(Updater::readManifest(body, current)) << body;
}

TEST(ReadManifest, ABodyThatIsNotJsonGivesNone) {
    for (const std::string& body :
         {std::string(""), std::string("{"), std::string("<html>404</html>"),
          manifest("2.0", goodUrl, ","),  // trailing comma
          "// comment\n" + manifest("2.0", goodUrl), manifest("2.0", goodUrl) + " trailing",
          manifest("2.\xff", goodUrl)})  // not UTF-8
        EXPECT_FALSE(Updater::readManifest(body, current)) << body;
}

TEST(ReadManifest, TheVersionMustBeAString) {
    for (const std::string& body : {R"({"version":1.3,"url":")" + std::string(goodUrl) + "\"}",
                                    R"({"version":2,"url":")" + std::string(goodUrl) + "\"}",
                                    R"({"version":null,"url":")" + std::string(goodUrl) + "\"}",
                                    R"({"version":["2"],"url":")" + std::string(goodUrl) + "\"}",
                                    R"({"url":")" + std::string(goodUrl) + "\"}"})
        EXPECT_FALSE(Updater::readManifest(body, current)) << body;
}

TEST(ReadManifest, TheUrlMustBeAString) {
    for (const std::string& body :
         {std::string(R"({"version":"2.0"})"), std::string(R"({"version":"2.0","url":null})"),
          std::string(R"({"version":"2.0","url":7})"),
          R"({"version":"2.0","url":[")" + std::string(goodUrl) + "\"]}"})
        EXPECT_FALSE(Updater::readManifest(body, current)) << body;
}

TEST(ReadManifest, TheUrlSchemeMustBeExactlyHttps) {
    for (const char* url :
         {"http://downloads.example.com/t.tar.gz", "HTTPS://downloads.example.com/t.tar.gz",
          "Https://downloads.example.com/t.tar.gz", "ftp://downloads.example.com/t.tar.gz",
          "file:///tmp/t.tar.gz", "httpss://downloads.example.com/t"})
        EXPECT_FALSE(Updater::readManifest(manifest("2.0", url), current)) << url;
}

TEST(ReadManifest, TheUrlMustBeAValidUrlWithAHost) {
    for (const char* url : {"", "not a url", "downloads.example.com/t.tar.gz", "/t.tar.gz",
                            "https://", "https://exa mple.com/t", "https://example.com/\\u0000evil",
                            " https://example.com/t", "https://[::1/t"})
        EXPECT_FALSE(Updater::readManifest(manifest("2.0", url), current)) << url;
}

TEST(ReadManifest, AVersionThatIsNotNewerGivesNone) {
    for (const char* version : {"1.2", "1.2.0", "1.1.99", "", "beta"})
        EXPECT_FALSE(Updater::readManifest(manifest(version, goodUrl), current)) << version;
}

TEST(ReadManifest, DeepNestingGivesNoneWithoutCrashing) {
    const std::string body = std::string(200'000, '[') + std::string(200'000, ']');
    EXPECT_FALSE(Updater::readManifest(body, current));
    const std::string open = R"({"version":"2.0","url":")" + std::string(goodUrl) + R"(","x":)";
    EXPECT_TRUE(Updater::readManifest(
        open + std::string(100'000, '[') + std::string(100'000, ']') + "}", current));
}

// --- checking against a server ---

class UpdaterCheck : public testing::Test {
  protected:
    void serve(HttpsServer::Reply reply) { server_.route("/manifest.json", std::move(reply)); }
    void serve(std::string body, int status = 200) {
        serve(HttpsServer::Reply{.status = status, .body = std::move(body)});
    }
    std::optional<UpdateInfo> check() {
        return Updater::check(server_.url("/manifest.json"), current, session_).update;
    }

    HttpsServer server_;
    HttpSession session_{{.caFile = server_.caFile()}};
};

TEST_F(UpdaterCheck, OffersANewerVersionFromTheManifest) {
    serve(manifest("1.3", goodUrl, R"(,"notes":"New.")"));
    EXPECT_EQ(check(), (UpdateInfo{"1.3", goodUrl, "New."}));
}

TEST_F(UpdaterCheck, AsksWithOnePlainGet) {
    serve(manifest("1.3", goodUrl));
    check();
    const std::vector<std::string> requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].starts_with("GET /manifest.json HTTP/1.1\r\n")) << requests[0];
    for (const char* header : {"Cache-Control", "Pragma", "If-", "Content-Length"})
        EXPECT_EQ(requests[0].find(header), std::string::npos) << requests[0];
}

TEST_F(UpdaterCheck, AnHttpDownloadUrlGivesNone) {
    serve(manifest("1.3", "http://downloads.example.com/t.tar.gz"));
    EXPECT_FALSE(check());
}

TEST_F(UpdaterCheck, ATopLevelArrayGivesNone) {
    serve("[" + manifest("1.3", goodUrl) + "]");
    EXPECT_FALSE(check());
}

TEST_F(UpdaterCheck, MissingOrNullNotesAreEmpty) {
    serve(manifest("1.3", goodUrl));
    EXPECT_EQ(check(), (UpdateInfo{"1.3", goodUrl, ""}));
    serve(manifest("1.3", goodUrl, R"(,"notes":null)"));
    EXPECT_EQ(check(), (UpdateInfo{"1.3", goodUrl, ""}));
}

TEST_F(UpdaterCheck, ANumberForTheVersionGivesNone) {
    serve(R"({"version":1.3,"url":")" + std::string(goodUrl) + "\"}");
    EXPECT_FALSE(check());
}

TEST_F(UpdaterCheck, TheStatusIsNotConsulted) {
    serve(manifest("1.3", goodUrl), 500);
    EXPECT_EQ(check(), (UpdateInfo{"1.3", goodUrl, ""}));
    serve(manifest("1.4", goodUrl), 404);
    EXPECT_EQ(check(), (UpdateInfo{"1.4", goodUrl, ""}));
}

TEST_F(UpdaterCheck, ABodyThatIsNotJsonGivesNone) {
    serve("<html><body>Service unavailable</body></html>", 503);
    EXPECT_FALSE(check());
}

TEST_F(UpdaterCheck, AnUnknownPathGivesNone) {
    EXPECT_FALSE(Updater::check(server_.url("/elsewhere.json"), current, session_).update);
}

TEST_F(UpdaterCheck, ASilentServerGivesNoneWhenTheTimeOutEnds) {
    serve(HttpsServer::Reply{.neverAnswer = true});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Updater::check(server_.url("/manifest.json"), current, session_, {}, 500ms).update);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 450ms);  // ended by the time-out, not by anything else
    EXPECT_LT(elapsed, 5s);
    EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(UpdaterCheck, TheProductionTimeOutIsTenSeconds) {
    EXPECT_EQ(Updater::manifestTimeout, 10s);
}

TEST_F(UpdaterCheck, AServerWithAnUntrustedCertificateGivesNone) {
    serve(manifest("1.3", goodUrl));
    EXPECT_FALSE(Updater::check(server_.url("/manifest.json"), current, HttpSession()).update);
    EXPECT_FALSE(Updater::check(server_.url("/manifest.json"), current, HttpSession::shared()).update);
    EXPECT_TRUE(server_.requests().empty());  // the handshake failed before any request
}

TEST_F(UpdaterCheck, AnUnreachableServerGivesNone) {
    std::string url;
    {
        HttpsServer gone;
        url = gone.url("/manifest.json");
    }
    EXPECT_FALSE(Updater::check(url, current, session_).update);
}

TEST_F(UpdaterCheck, AStopRequestEndsTheCheckPromptly) {
    serve(HttpsServer::Reply{.neverAnswer = true});
    std::stop_source stop;
    std::jthread stopper([&] {
        if (server_.waitForRequests(1, 5s)) stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        Updater::check(server_.url("/manifest.json"), current, session_, stop.get_token(), 60s)
            .update);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(stop.stop_requested());
}

}  // namespace
