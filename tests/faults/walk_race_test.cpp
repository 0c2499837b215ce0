// Changes made to a tree while the engine walks it, at the exact moment between listing a
// folder and opening what was listed.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "open_hook.h"
#include "tessaly/collect.h"
#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

Strings names(const Collect::Collected& collected) {
    Strings out;
    for (const auto& file : collected.files)
        out.push_back(std::filesystem::path(file.path).filename().string());
    return out;
}

// "a" sorts first: while the walk is inside it, the rest of the folder has been listed but
// not yet opened.
class WalkRaceTest : public testing::TestWithParam<unsigned> {
  protected:
    WalkRaceTest() {
        writeFile(dir / "p/a/first.txt", "first\n");
        writeFile(dir / "p/b.txt", "b\n");
        writeFile(dir / "p/c/inside.txt", "inside\n");
        writeFile(dir / "outside/secret.txt", "secret\n");
    }
    ~WalkRaceTest() override { OpenHook::clear(); }

    Collect::Collected collect() {
        Collect::Options options;
        options.threads = GetParam();
        auto collected = Collect::files({dir / "p"}, options);
        EXPECT_TRUE(OpenHook::ran()) << "the change was never staged";
        return collected;
    }

    TempDir dir;
};

TEST_P(WalkRaceTest, AFileThatVanishesAfterListingIsLeftOutAndTheWalkGoesOn) {
    OpenHook::before("a", [&] { fs::remove(dir / "p/b.txt"); });
    const auto collected = collect();
    EXPECT_EQ(names(collected), (Strings{"first.txt", "inside.txt"}));
    EXPECT_EQ(collected.skipped, (Strings{"b.txt — not text"}));
}

TEST_P(WalkRaceTest, AFileThatGrowsAfterListingIsReadWholeAsItIsWhenOpened) {
    const std::string grown = "b\n" + std::string(300'000, 'g') + "\n";
    OpenHook::before("a", [&] { writeFile(dir / "p/b.txt", grown); });
    const auto collected = collect();
    ASSERT_EQ(names(collected), (Strings{"first.txt", "b.txt", "inside.txt"}));
    EXPECT_EQ(std::string_view(collected.files[1].data), grown);
}

TEST_P(WalkRaceTest, AFolderSwappedForALinkAfterListingIsNotFollowed) {
    OpenHook::before("a", [&] {
        fs::rename(dir / "p/c", dir / "c-moved");
        fs::create_directory_symlink(dir / "outside", dir / "p/c");
    });
    const auto collected = collect();
    EXPECT_EQ(names(collected), (Strings{"first.txt", "b.txt"}));
    EXPECT_TRUE(collected.skipped.empty());
}

TEST_P(WalkRaceTest, AFileSwappedForALinkAfterListingIsNotFollowed) {
    OpenHook::before("a", [&] {
        fs::remove(dir / "p/b.txt");
        fs::create_symlink(dir / "outside/secret.txt", dir / "p/b.txt");
    });
    const auto collected = collect();
    EXPECT_EQ(names(collected), (Strings{"first.txt", "inside.txt"}));
    for (const auto& file : collected.files)
        EXPECT_NE(std::string_view(file.data), "secret\n");
}

TEST_P(WalkRaceTest, AFileSwappedForAFifoAfterListingDoesNotBlock) {
    OpenHook::before("a", [&] {
        fs::remove(dir / "p/b.txt");
        ASSERT_EQ(::mkfifo((dir / "p/b.txt").c_str(), 0644), 0);
    });
    const auto collected = collect();  // a blocking open would hang here
    EXPECT_EQ(names(collected), (Strings{"first.txt", "inside.txt"}));
    EXPECT_EQ(collected.skipped, (Strings{"b.txt — not text"}));
}

INSTANTIATE_TEST_SUITE_P(SerialAndParallel, WalkRaceTest, testing::Values(1u, 0u),
                         [](const auto& info) {
                             return info.param == 1 ? std::string("OneThread")
                                                    : std::string("Workers");
                         });

}  // namespace
