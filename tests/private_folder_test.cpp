// The folder only this user may enter, for the instance socket and the update's work.
#include <gtest/gtest.h>

#include "tessaly/private_folder.h"
#include "test_support.h"

using namespace tessaly;
namespace fs = std::filesystem;

TEST(PrivateFolderTest, ARuntimeFolderOthersMayEnterIsNotTrusted) {
    TestSupport::TempDir dir;
    fs::create_directory(dir / "shared");
    fs::permissions(dir / "shared", fs::perms::all);
    ::setenv("XDG_RUNTIME_DIR", (dir / "shared").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    EXPECT_EQ(PrivateFolder::path(), dir / "cache/orvane-tessaly");
    fs::permissions(dir / "shared", fs::perms::owner_all);
    EXPECT_EQ(PrivateFolder::path(), dir / "shared");
}
