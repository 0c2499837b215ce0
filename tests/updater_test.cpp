#include "tessaly/updater.h"

#include <gtest/gtest.h>

#include "https_server.h"

using namespace tessaly;
using namespace std::chrono_literals;

namespace {

// The server is on the loopback address: no proxy may come in between. Runs before main.
[[maybe_unused]] const bool noProxies = (TestSupport::ignoreProxies(), true);

const std::string url = "https://updates.example.com/tessaly/Tessaly-1.3.zip";

std::string manifest(const std::string& version, const std::string& link = url,
                     const std::string& more = "") {
    return R"({"version":")" + version + R"(","url":")" + link + "\"" + more + "}";
}

class UpdaterTest : public testing::Test {
  protected:
    static TestSupport::HttpsServer& server() {
        static TestSupport::HttpsServer shared;  // one for all: starting one takes a while
        return shared;
    }
    static const HttpSession& session() {
        static const HttpSession trusting({.caFile = server().caFile()});
        return trusting;
    }
    static std::string serve(const std::string& path,
                             const TestSupport::HttpsServer::Reply& reply) {
        server().route(path, reply);
        return server().url(path);
    }
};

// Pieces between dots compare as signed 64-bit numbers; empty pieces are dropped, missing ones
// are 0, and so is anything else. Each group is newer than those before it, its own equal.
TEST_F(UpdaterTest, IsNewerComparesPieceByPieceAsNumbers) {
    const std::vector<std::vector<std::string>> groups = {
        {"-9223372036854775808"},
        {"-9223372036854775807"},
        {"-1", "-1.0"},
        {"", "0", "beta", "v2.0", "...", "+", "1e3", "9223372036854775808", "-9223372036854775809"},
        {"0.0.1"},
        {"0.1", "00.1.0"},
        {"1.-1"},
        {"1", ".1", "1.0.0", "1..0", "1.+", "1.-0", "1.+-2", "1.0x10", "1.\xd9\xa3", "+1", "1.1e3"},
        {"1.0.0.1"},
        {"1.2", "1.2.3b"},
        {"1.2.2"},
        {"1.2.9"},
        {"1.3", "1.3.0", "1...3"},
        {"1.007", "1.7"},
        {"1.10"},
        {"2", "2.0-beta", "+2"},
        {"10"},
        {"9223372036854775807"}};
    for (std::size_t i = 0; i < groups.size(); ++i)
        for (std::size_t j = 0; j < groups.size(); ++j)
            for (const std::string& a : groups[i])
                for (const std::string& b : groups[j])
                    EXPECT_EQ(Updater::isNewer(a, b), i > j)
                        << '"' << a << "\" against \"" << b << '"';
}

TEST_F(UpdaterTest, AManifestOffersOnlyANewerVersionWithAnHttpsUrl) {
    const std::string odd = "https://Downloads.Example.com:8443/a%20b/t.zip?x=1#f";
    const struct {
        std::string body;
        std::optional<UpdateInfo> offer;
    } cases[] = {{manifest("1.3", url, R"(,"notes":"Faster.")"), UpdateInfo{"1.3", url, "Faster."}},
                 {manifest("01.3.0-rc", odd), UpdateInfo{"01.3.0-rc", odd, ""}},  // kept as given
                 {manifest("2", url, R"(,"notes":null,"size":1)"), UpdateInfo{"2", url, ""}},
                 {manifest("2", url, R"(,"notes":["x"])"), UpdateInfo{"2", url, ""}},
                 {manifest("1.2.0"), {}},
                 {manifest("1.1.99"), {}},
                 {"[" + manifest("2") + "]", {}},
                 {"<html>503</html>", {}},
                 {manifest("2") + ",", {}},
                 {manifest("2.\xff"), {}},
                 {R"({"version":2,"url":")" + url + "\"}", {}},
                 {R"({"version":"2","url":["https://h/t"]})", {}},
                 {manifest("2", "http://updates.example.com/t.zip"), {}},
                 {manifest("2", "HTTPS://updates.example.com/t.zip"), {}},
                 {manifest("2", "file:///tmp/t.zip"), {}},
                 {manifest("2", "https://"), {}},
                 {manifest("2", "https://exa mple.com/t"), {}},
                 {manifest("2", "https://example.com/\\u0000evil"), {}},
                 {std::string(200'000, '[') + std::string(200'000, ']'), {}}};
    for (const auto& c : cases)
        EXPECT_EQ(Updater::readManifest(c.body, "1.2"), c.offer) << c.body.substr(0, 80);
}

TEST_F(UpdaterTest, OnePlainGetFetchesTheManifestWhateverTheStatus) {
    const std::string at = serve("/plain.json", {.status = 500, .body = manifest("1.3")});
    EXPECT_EQ(Updater::check(at, "1.2", session()), (UpdateInfo{"1.3", url, ""}));
    const auto requests = server().requests("/plain.json");
    ASSERT_EQ(requests.size(), 1u);
    for (const char* header : {"Cache-Control", "Pragma", "If-", "Content-"})
        EXPECT_EQ(requests[0].find(header), std::string::npos) << requests[0];
}

TEST_F(UpdaterTest, WhatCannotBeFetchedIsNoUpdate) {
    const std::string moved = serve("/moved.json", {.body = manifest("1.3")});
    const std::string untrusted = serve("/untrusted.json", {.body = manifest("1.3")});
    for (const auto& [at, through] :
         {std::pair{serve("/redirect.json", {302, "", moved}), &session()},
          {untrusted, &HttpSession::shared()},
          {"https://127.0.0.1:1/latest.json", &session()}})
        EXPECT_FALSE(Updater::check(at, "1.2", *through)) << at;
    EXPECT_TRUE(server().requests("/moved.json").empty());
    EXPECT_TRUE(server().requests("/untrusted.json").empty());
}

TEST_F(UpdaterTest, AServerThatNeverAnswersEndsTheCheckAfterItsTimeOut) {
    const std::string silent = serve("/silent.json", {.neverAnswer = true});
    for (const auto timeout : {500ms, 0ms}) {  // 0 is no time at all, not an endless wait
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Updater::check(silent, "1.2", session(), {}, timeout));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, timeout);
        EXPECT_LT(elapsed, timeout + 2s);  // the server holds its answer back 5 s
    }
}

}  // namespace
