#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "fake_platform.h"

using namespace tessaly;
using TestSupport::writeFile;
namespace fs = std::filesystem;

namespace {

class PackerModelTest : public testing::Test {
  protected:
    TestSupport::TempDir dir;  // outlives the model, whose worker may still read it
    PlatformScript script;
    PackerModel model{fakePlatform(script), QStringLiteral("2.3")};
};

TEST_F(PackerModelTest, RequestsFinishInTheOrderMade) {
    std::vector<QString> finished;
    bool idleTooSoon = false;  // busy until the last request has finished, not the first
    QObject::connect(&model, &PackerModel::packingChanged, [&] {
        if (model.hasResult() && (finished.empty() || finished.back() != model.sourceLabel()))
            finished.push_back(model.sourceLabel());
        idleTooSoon = idleTooSoon || (finished.size() < 3 && !model.isPacking());
    });
    for (int i = 0; i < 100; ++i)  // still packing when the others come
        writeFile(dir / "one" / (std::to_string(i) + ".txt"), "a\n");
    writeFile(dir / "two" / "b.txt", "b\n");
    writeFile(dir / "three" / "c.txt", "c\n");
    const std::vector<QString> names{"one", "two", "three"};
    for (const QString& name : names)
        model.pack({dir / name.toStdString()});
    ASSERT_TRUE(waitFor([&] { return finished.size() == 3 && model.status() != "Packing…"; }));
    EXPECT_EQ(finished, names);
    EXPECT_FALSE(idleTooSoon);
}

TEST_F(PackerModelTest, TwoHundredPackingsKeepNoMemory) {
    if (TestSupport::addressSanitizer) GTEST_SKIP() << "AddressSanitizer holds freed memory back";
    writeFile(dir / "p" / "small.txt", "s\n");
    writeFile(dir / "p" / "big.txt", std::string(400'000, 'b'));
    std::size_t settled = 0;
    for (int i = 0; i < 200; ++i) {
        if (i == 20) settled = TestSupport::residentBytes();  // caches and pools have settled
        model.pack({dir / "p"});
        ASSERT_TRUE(waitFor([&] { return !model.isPacking(); }));
    }
    // Keeping 64 KB a packing fails this.
    EXPECT_LT(TestSupport::residentBytes(), settled + (4u << 20));
}

TEST_F(PackerModelTest, AFailedSaveKeepsTheOldFileAndRevealsNothing) {
    writeFile(dir / "a.md", "# A\n");
    model.pack({dir / "a.md"});
    ASSERT_TRUE(waitFor([&] { return !model.isPacking(); }));
    writeFile(dir / "out" / "context.md", "old");
    script.saveDestination = dir / "out" / "context.md";
    // In a child, as a fresh process: a file-size limit fails the write part-way even for root,
    // and its SIGXFSZ would kill the process unless the model keeps it away.
    const auto child = TestSupport::runInChild(
        [&] {
            ::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{8, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);
            model.save();
            limit.rlim_cur = RLIM_INFINITY;  // for the answer, which goes through a file
            setrlimit(RLIMIT_FSIZE, &limit);
            return model.status().toStdString() + " after " + script.calls.back();
        },
        std::chrono::seconds(10));
    EXPECT_EQ(child.output, "Couldn't save after save context.md");
    EXPECT_EQ(TestSupport::readFile(dir / "out" / "context.md"), "old");
    EXPECT_EQ(TestSupport::listNames(dir / "out"), std::vector<std::string>{"context.md"});
}

TEST_F(PackerModelTest, LeavingOutWhatGitIgnoresPacksTheLastInputsAgain) {
    for (const char* folder : {"objects", "refs"})
        fs::create_directories(dir / "repo/.git" / folder);
    writeFile(dir / "repo/.git/HEAD", "ref: refs/heads/main\n");
    writeFile(dir / "repo/.gitignore", "gen/\n");
    writeFile(dir / "repo/a.txt", "a\n");
    writeFile(dir / "repo/gen/b.txt", "b\n");
    model.pack({dir / "repo"});
    ASSERT_TRUE(waitFor([&] { return !model.isPacking(); }));
    EXPECT_EQ(model.result()->fileCount, 2);
    model.setLeavesOutIgnoredFiles(true);
    ASSERT_TRUE(waitFor([&] { return !model.isPacking(); }));
    EXPECT_EQ(model.result()->fileCount, 1);
    EXPECT_EQ(model.result()->ignored, 1);
    EXPECT_EQ(script.preferences["orvane.tessaly.pack.gitignore"], "true");
}

}  // namespace
