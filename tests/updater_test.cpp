#include "tessaly/updater.h"

#include <gtest/gtest.h>

#include "https_server.h"

using namespace tessaly;
using namespace std::chrono_literals;

namespace {

const std::string url = "https://updates.example.com/tessaly/Tessaly-1.3.zip";

std::string manifest(const std::string& version, const std::string& link = url,
                     const std::string& more = "") {
    return R"({"version":")" + version + R"(","url":")" + link + "\"" + more + "}";
}

// Pieces between dots compare as signed 64-bit numbers; empty pieces are dropped, missing ones
// are 0, and so is anything else. The groups below, between spaces, go from oldest to newest;
// the versions of a group, between "|", are equal.
TEST(UpdaterTest, IsNewerComparesPieceByPieceAsNumbers) {
    const auto split = [](std::string text, char separator) {
        std::vector<std::string> pieces;
        for (std::size_t at; (at = text.find(separator)) != std::string::npos;
             text.erase(0, at + 1))
            pieces.push_back(text.substr(0, at));
        return pieces.push_back(text), pieces;
    };
    const auto groups = split(
        "-9223372036854775808 -1|-1.0 "
        "|0|beta|v2|...|+|1e3|9223372036854775808|-9223372036854775809 "
        "0.0.1 0.1|00.1.0 1.-1 1|.1|1.0.0|1..0|1.+|1.-0|1.+-2|1.0x1|1.\xd9\xa3|+1|1.1e3 1.2|1.2.3b "
        "1.2.9 1.3|1...3 1.007|1.7 1.10 2|2.0-beta|+2 10 9223372036854775807",
        ' ');
    for (std::size_t i = 0; i < groups.size(); ++i)
        for (std::size_t j = 0; j < groups.size(); ++j)
            for (const std::string& a : split(groups[i], '|'))
                for (const std::string& b : split(groups[j], '|'))
                    EXPECT_EQ(Updater::isNewer(a, b), i > j) << a << " against " << b;
}

// An offer has a newer version and an https URL with a host, both exactly as given.
TEST(UpdaterTest, AManifestOffersOnlyANewerVersionWithAnHttpsUrl) {
    const std::string odd = "https://Updates.Example.com:8443/a%20b/t.zip?x=1#f";
    EXPECT_EQ(Updater::readManifest(manifest("1.3", url, R"(,"notes":"Faster.")"), "1.2"),
              (UpdateInfo{"1.3", url, "Faster."}));
    EXPECT_EQ(Updater::readManifest(manifest("01.3.0-rc", odd, R"(,"notes":5,"size":1)"), "1.2"),
              (UpdateInfo{"01.3.0-rc", odd, ""}));
    for (const std::string& body :
         {manifest("1.2.0"), manifest("1.1.99"), "[" + manifest("2") + "]", manifest("2") + ",",
          std::string("<html>503</html>"), manifest("2.\xff"),
          R"({"version":2,"url":")" + url + "\"}", std::string(R"({"version":"2","url":["x"]})"),
          manifest("2", "http://updates.example.com/t.zip"), manifest("2", "HTTPS://h.com/t"),
          manifest("2", "file:///tmp/t.zip"), manifest("2", "https://"),
          manifest("2", "https://exa mple.com/t"), manifest("2", "https://h.com/\\u0000evil"),
          std::string(200'000, '[') + std::string(200'000, ']')})
        EXPECT_EQ(Updater::readManifest(body, "1.2"), std::nullopt) << body.substr(0, 80);
}

// One GET, whatever the status, redirects followed; a failure is no update and says why.
TEST(UpdaterTest, TheManifestIsFetchedOnceAndAFailureSaysWhy) {
    using enum Updater::CheckFailure;
    auto& server = TestSupport::HttpsServer::shared();
    const HttpSession session({.caFile = server.caFile()});
    const std::string found = server.serve("/found.json", {.status = 500, .body = manifest("1.3")});
    const struct {
        std::string address;
        const HttpSession& through;
        bool offered;
        Updater::CheckFailure failure;
    } cases[] = {
        {found, session, true, none},
        {server.serve("/moved.json", {302, "", found}), session, true, none},
        {server.serve("/same.json", {.body = manifest("1.2")}), session, false, none},
        {server.serve("/page.json", {.body = "<html>503</html>"}), session, false, unreadable},
        {found, HttpSession::shared(), false, untrusted},
        {"https://127.0.0.1:1/latest.json", session, false, unreachable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const Updater::CheckResult result = Updater::check(c.address, "1.2", c.through);
        EXPECT_EQ(result.update,
                  c.offered ? std::optional(UpdateInfo{"1.3", url, ""}) : std::nullopt);
        EXPECT_EQ(result.failure, c.failure);
    }
    EXPECT_EQ(server.requests("/found.json"),
              2);  // directly and redirected; untrusted, never asked
}

TEST(UpdaterTest, AServerThatNeverAnswersEndsTheCheckAfterItsTimeOut) {
    auto& server = TestSupport::HttpsServer::shared();
    const std::string silent = server.serve("/silent.json", {.neverAnswer = true});
    for (const auto timeout : {500ms, 0ms}) {  // 0 is no time at all, not an endless wait
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            Updater::check(silent, "1.2", HttpSession({server.caFile()}), {}, timeout).failure,
            Updater::CheckFailure::unreachable);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, timeout);
        EXPECT_LT(elapsed, timeout + 2s);  // the server holds its answer back 5 s
    }
}

}  // namespace
