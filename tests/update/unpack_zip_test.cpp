#include "tessaly/unpack_zip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tessaly/update_error.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;
namespace fs = std::filesystem;
using TestSupport::listNames;
using TestSupport::readFile;

namespace {

class UnpackZipTest : public testing::Test {
  protected:
    TestSupport::TempDir dir_;
    const fs::path zip_ = dir_ / "update.zip";
    const fs::path target_ = dir_ / "unpacked";
};

TEST_F(UnpackZipTest, UnpacksUpToItsLimitsIntoAFolderOfTheCallersOwn) {
    UpdateFixtures::writeZip(zip_, {{"a/", "", S_IFDIR}, {"a/b", "12345"}});
    Update::unpackZip(zip_, target_, {.maxBytes = 5, .maxEntries = 2});
    EXPECT_EQ(readFile(target_ / "a/b"), "12345");
    EXPECT_EQ(fs::status(target_).permissions(), fs::perms::owner_all);
}

// Each would write outside the target, or holds what a bundle must not: it is refused, nothing
// appears outside the target, and the target is removed; one that was there is left alone.
TEST_F(UnpackZipTest, HostileArchivesAreRefusedAndLeaveNothing) {
    const fs::path outside = dir_ / "outside";
    TestSupport::writeFile(outside / "sentinel", "keep");
    const std::string x = "x", out = outside.string(), below = ": not a name below the target";
    const struct {
        std::vector<UpdateFixtures::ZipEntry> entries;
        std::string reason;
        Update::UnpackLimits limits = {};
    } cases[] = {
        {{{"Tessaly.app/ok", x}, {"../evil", x}}, "../evil" + below},
        {{{out + "/evil", x}}, out + "/evil" + below},
        {{{"a/b/../../../evil", x}}, "evil" + below},
        {{{"..", x}}, ".." + below},
        {{{"lnk", out, S_IFLNK}, {"lnk/evil", x}}, "lnk: a link that could lead out"},
        {{{"a/", "", S_IFDIR}, {"a/up", "../..", S_IFLNK}}, "a/up: a link that could lead out"},
        {{{"a/", "", S_IFDIR}, {"a/s", "s/../..", S_IFLNK}}, "a/s: a link that could lead out"},
        {{{"sub/", "", S_IFDIR}, {"lnk", "sub", S_IFLNK}, {"lnk/evil", x}},
         "lnk/evil: below a file or link"},
        {{{"a", x}, {"a/b", x}}, "a/b: below a file or link"},
        {{{"a", "first"}, {"./a", "second"}}, "./a: appears twice"},
        {{{"a/b", x}, {"a", "c", S_IFLNK}}, "a: appears twice"},
        {{{"tty", ""}}, "tty: neither a file, a folder nor a link"},  // made a device below
        {{{"bomb", std::string(1 << 20, '\0')}}, "more than 65536 bytes", {.maxBytes = 1 << 16}},
        {{{"a", std::string(1000, 'x')}, {"b", std::string(1000, 'x')}},
         "more than 1999 bytes",
         {.maxBytes = 1999}},
        {{{"a", ""}, {"b", ""}, {"c", ""}}, "more than 2 entries", {.maxEntries = 2}},
        {{}, "mkdir(" + target_.string() + "): File exists"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        UpdateFixtures::writeZip(zip_, c.entries);
        if (c.reason.starts_with("tty")) {  // no zip writer makes one: the mode is patched in
            std::string bytes = readFile(zip_);
            const std::size_t mode = bytes.find("PK\x01\x02") + 38;
            for (int i = 0; i < 4; ++i)
                bytes[mode + i] = static_cast<char>(((S_IFCHR | 0644u) << 16) >> (8 * i));
            TestSupport::writeFile(zip_, bytes);
        }
        if (c.entries.empty()) TestSupport::writeFile(target_ / "mine", "keep");
        try {
            Update::unpackZip(zip_, target_, c.limits);
            ADD_FAILURE() << "unpacked";
        } catch (const UpdateFailure& e) {
            EXPECT_EQ(e.error(), UpdateError::unpack);
            EXPECT_CONTAINS(e.detail(), c.reason);
        }
        if (c.entries.empty()) {
            EXPECT_EQ(readFile(target_ / "mine"), "keep");
            fs::remove_all(target_);
        }
        EXPECT_EQ(listNames(dir_.path()), (std::vector<std::string>{"outside", "update.zip"}));
        EXPECT_EQ(listNames(outside), std::vector<std::string>{"sentinel"});
        EXPECT_EQ(fs::hard_link_count(outside / "sentinel"), 1u);
    }
}

}  // namespace
