#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tessaly/bundle_signature.h"
#include "tessaly/unpack_zip.h"
#include "tessaly/update_error.h"
#include "test_support.h"
#include "update_fixtures.h"

using namespace tessaly;

namespace fs = std::filesystem;
using TestSupport::listNames;
using TestSupport::readFile;
using TestSupport::writeFile;
using UpdateFixtures::ZipWriter;

class UnpackZipTest : public testing::Test {
  protected:
    // The detail of the unpack failure; fails the test for anything else.
    std::string refusal(const Update::UnpackLimits& limits = {}) {
        try {
            Update::unpackZip(zip_, target_, limits);
            ADD_FAILURE() << "unpacked";
        } catch (const UpdateFailure& e) {
            EXPECT_EQ(e.error(), UpdateError::unpack) << e.what();
            return e.detail();
        }
        return {};
    }

    // After a refusal: the target is gone and nothing else appeared beside the zip.
    void expectNothingLeft() {
        EXPECT_EQ(listNames(dir_.path()), std::vector<std::string>{"update.zip"});
    }

    TestSupport::TempDir dir_;
    fs::path zip_ = dir_ / "update.zip";
    fs::path target_ = dir_ / "unpacked";
};

TEST_F(UnpackZipTest, UnpacksFilesFoldersExecutableBitsAndLinks) {
    ZipWriter(zip_)
        .folder("Tessaly.app/")
        .folder("Tessaly.app/bin/")
        .file("Tessaly.app/bin/tessaly", "#!/bin/sh\n", 0755)
        .file("Tessaly.app/share/doc/README", "Read me.\n", 0644)
        .link("Tessaly.app/share/alias", "../bin/tessaly")
        .close();
    Update::unpackZip(zip_, target_);
    const fs::path app = target_ / "Tessaly.app";
    EXPECT_EQ(readFile(app / "bin/tessaly"), "#!/bin/sh\n");
    EXPECT_EQ(readFile(app / "share/doc/README"), "Read me.\n");
    struct stat st {};
    ASSERT_EQ(::stat((app / "bin/tessaly").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    ASSERT_EQ(::stat((app / "share/doc/README").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_TRUE(fs::is_symlink(app / "share/alias"));
    EXPECT_EQ(fs::read_symlink(app / "share/alias"), "../bin/tessaly");
    EXPECT_EQ(st.st_mtime, 1700000000);
}

TEST_F(UnpackZipTest, TargetIsTheCallersOnly) {
    ZipWriter(zip_).file("a", "x").close();
    Update::unpackZip(zip_, target_);
    struct stat st {};
    ASSERT_EQ(::stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(UnpackZipTest, SignedBundleStillVerifiesAfterZipAndUnpack) {
    const fs::path bundle = dir_ / "build/Tessaly.app";
    UpdateFixtures::makeBundle(bundle);
    writeFile(bundle / "share/name with space", "x");
    const Update::PrivateKey key = Update::PrivateKey::generate();
    Update::signBundle(bundle, key, "ABCDE12345", "3.1.4");
    UpdateFixtures::zipFolder(bundle, zip_);
    Update::unpackZip(zip_, target_);
    EXPECT_EQ(Update::verifyBundle(target_ / "Tessaly.app",
                                   {.publicKey = key.publicKey(), .team = "ABCDE12345"}),
              "3.1.4");
}

TEST_F(UnpackZipTest, NamesKeepTheirBytes) {
    ZipWriter(zip_)
        .file("caf\xc3\xa9 menu", "1")
        .file("new\nline", "2")
        .file("\xff\xfe", "3")
        .close();
    Update::unpackZip(zip_, target_);
    EXPECT_EQ(listNames(target_),
              (std::vector<std::string>{"caf\xc3\xa9 menu", "new\nline", "\xff\xfe"}));
}

// Names a zip marks as UTF-8 (as most zip tools write them) come out whole in any locale; the
// tests run in the "C" locale, where libarchive on its own loses them.
TEST_F(UnpackZipTest, NamesMarkedUtf8KeepTheirBytes) {
    ZipWriter(zip_).file("caf\xc3\xa9", "1").link("l\xc3\xa9nk", "caf\xc3\xa9").close();
    std::string bytes = readFile(zip_);
    const auto markUtf8 = [&](std::string_view signature, std::size_t flagsAt) {
        for (std::size_t at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 1))
            bytes[at + flagsAt + 1] = static_cast<char>(bytes[at + flagsAt + 1] | 0x08);
    };
    markUtf8("PK\x03\x04", 6);  // local headers
    markUtf8("PK\x01\x02", 8);  // central directory
    writeFile(zip_, bytes);
    Update::unpackZip(zip_, target_);
    EXPECT_EQ(listNames(target_), (std::vector<std::string>{"caf\xc3\xa9", "l\xc3\xa9nk"}));
    EXPECT_EQ(fs::read_symlink(target_ / "l\xc3\xa9nk"), "caf\xc3\xa9");
}

TEST_F(UnpackZipTest, SizesAtTheLimitsPass) {
    ZipWriter(zip_).file("a", std::string(600, 'a')).file("b", std::string(400, 'b')).close();
    Update::unpackZip(zip_, target_, {.maxBytes = 1000, .maxEntries = 2});
    EXPECT_EQ(fs::file_size(target_ / "a") + fs::file_size(target_ / "b"), 1000u);
}

TEST_F(UnpackZipTest, RefusesAFileThatIsNoZip) {
    writeFile(zip_, "just some text, not an archive\n");
    EXPECT_FALSE(refusal().empty());
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesAMissingZip) {
    EXPECT_CONTAINS(refusal(), "update.zip");
    EXPECT_TRUE(listNames(dir_.path()).empty());
}

TEST_F(UnpackZipTest, RefusesAnExistingTargetAndLeavesItAlone) {
    ZipWriter(zip_).file("a", "x").close();
    writeFile(target_ / "mine", "keep");
    EXPECT_CONTAINS(refusal(), "mkdir(" + target_.string() + "): File exists");
    EXPECT_EQ(readFile(target_ / "mine"), "keep");
}

TEST_F(UnpackZipTest, RefusesTooManyBytes) {
    // A megabyte of zeros packs into about a kilobyte.
    ZipWriter(zip_).file("bomb", std::string(1 << 20, '\0')).close();
    ASSERT_LT(fs::file_size(zip_), 64u << 10);
    EXPECT_CONTAINS(refusal({.maxBytes = 64 << 10}), "more than 65536 bytes");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesTooManyBytesOverManyFiles) {
    ZipWriter zip(zip_);
    for (int i = 0; i < 10; ++i)
        zip.file("f" + std::to_string(i), std::string(200, 'x'));
    zip.close();
    EXPECT_CONTAINS(refusal({.maxBytes = 1999}), "more than 1999 bytes");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesTooManyEntries) {
    ZipWriter zip(zip_);
    for (int i = 0; i < 20; ++i)
        zip.file("f" + std::to_string(i), "");
    zip.close();
    EXPECT_CONTAINS(refusal({.maxEntries = 10}), "more than 10 entries");
    expectNothingLeft();
}

class UnpackZipHostileName : public UnpackZipTest,
                             public testing::WithParamInterface<const char*> {};

// Each name would land outside the target if taken as it stands.
TEST_P(UnpackZipHostileName, IsRefusedAndNothingIsWrittenOutside) {
    std::string name = GetParam();
    if (name.front() == '/') name = (dir_ / name.substr(1)).string();
    ZipWriter(zip_).file("Tessaly.app/ok", "fine").file(name, "evil").close();
    EXPECT_CONTAINS(refusal(), "not a name below the target");
    expectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(Names, UnpackZipHostileName,
                         testing::Values("../evil", "/abs/evil", "a/../../evil", "./../evil",
                                         "a/b/../../../evil", ".."));

TEST_F(UnpackZipTest, RefusesAnEntryThroughALinkLeadingOut) {
    const fs::path outside = dir_ / "outside";
    fs::create_directory(outside);
    ZipWriter(zip_).link("lnk", outside.string()).file("lnk/evil", "evil").close();
    EXPECT_CONTAINS(refusal(), "lnk: a link that could lead out");
    EXPECT_TRUE(listNames(outside).empty());
    EXPECT_EQ(listNames(dir_.path()), (std::vector<std::string>{"outside", "update.zip"}));
}

TEST_F(UnpackZipTest, RefusesAnEntryThroughALinkInside) {
    ZipWriter(zip_).folder("sub/").link("lnk", "sub").file("lnk/evil", "evil").close();
    EXPECT_CONTAINS(refusal(), "lnk/evil: below a file or link");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesALinkLeadingOutOfTheTarget) {
    ZipWriter(zip_).folder("a/").link("a/up", "../..").close();
    EXPECT_CONTAINS(refusal(), "a/up: a link that could lead out");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesARepeatedEntry) {
    ZipWriter(zip_).file("a", "first").file("./a", "second").close();
    EXPECT_CONTAINS(refusal(), "./a: appears twice");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesALinkReplacingAFolderMadeForEarlierEntries) {
    ZipWriter(zip_).file("a/b", "x").link("a", "c").close();
    EXPECT_CONTAINS(refusal(), "a: appears twice");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesAnEntryBelowAFile) {
    ZipWriter(zip_).file("a", "x").file("a/b", "y").close();
    EXPECT_CONTAINS(refusal(), "a/b: below a file or link");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RefusesADevice) {
    // No zip writer makes one; the central directory's Unix mode is what a reader goes by.
    ZipWriter(zip_).file("tty", "").close();
    std::string bytes = readFile(zip_);
    const std::size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    ASSERT_EQ(bytes[central + 5], 3) << "made on Unix";
    const std::uint32_t device = (S_IFCHR | 0644u) << 16;
    for (int i = 0; i < 4; ++i)
        bytes[central + 38 + i] = static_cast<char>(device >> (8 * i));
    writeFile(zip_, bytes);
    EXPECT_CONTAINS(refusal(), "tty: neither a file, a folder nor a link");
    expectNothingLeft();
}

TEST_F(UnpackZipTest, RemovesAPartlyUnpackedReadOnlyTreeOnFailure) {
    ZipWriter(zip_)
        .folder("ro/", 0555)
        .file("ro/f", "x", 0444)
        .folder("ro/sub/", 0)
        .file("../evil", "evil")
        .close();
    EXPECT_FALSE(refusal().empty());
    expectNothingLeft();
}
