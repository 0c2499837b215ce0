#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include "app_test_support.h"
#include "fake_platform.h"
#include "packer_model.h"
#include "qt_platform.h"
#include "test_support.h"

using namespace tessaly;

using TestSupport::TempDir;
using TestSupport::writeFile;
namespace fs = std::filesystem;

namespace {

struct Snapshot {
    bool hasResult;
    QString sourceLabel;
    bool isPacking;
    QString status;
    bool operator==(const Snapshot&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Snapshot& s) {
    return out << "{result=" << s.hasResult << " label=" << s.sourceLabel.toStdString()
               << " packing=" << s.isPacking << " status=" << s.status.toStdString() << "}";
}

class PackerModelTest : public testing::Test {
  protected:
    PackerModelTest() : model(fakePlatform(script), QStringLiteral("2.3")) {
        QObject::connect(&model, &PackerModel::packingChanged, [this] {
            published.push_back(
                {model.hasResult(), model.sourceLabel(), model.isPacking(), model.status()});
        });
    }

    TempDir dir;  // outlives the model, whose worker may still read it
    PlatformScript script;
    PackerModel model;
    std::vector<Snapshot> published;
};

TEST_F(PackerModelTest, PublishesPackingThenResultLabelFlagAndStatusInThatOrder) {
    writeFile(dir / "notes.txt", "hello\n");
    model.pack({dir / "notes.txt"});
    // Before the packing runs, the request is already visible.
    EXPECT_TRUE(model.isPacking());
    EXPECT_EQ(model.status(), "Packing…");
    EXPECT_FALSE(model.hasResult());
    ASSERT_TRUE(waitUntilPacked(model));

    const std::vector<Snapshot> expected{
        {false, "", true, "Packing…"},
        {true, "notes.txt", false, "Packed 1 files ✓"},
    };
    EXPECT_EQ(published, expected);
    EXPECT_EQ(model.result()->fileCount, 1);
    EXPECT_TRUE(model.result()->markdown.starts_with("# Context: notes.txt\n"));
}

TEST_F(PackerModelTest, AFolderWithoutTextFilesKeepsAnEmptyResultNamedAfterIt) {
    writeFile(dir / "proj" / "image.png", "\x89PNG");
    model.pack({dir / "proj"});
    ASSERT_TRUE(waitUntilPacked(model));
    ASSERT_TRUE(model.hasResult());
    EXPECT_EQ(model.result()->fileCount, 0);
    EXPECT_EQ(model.sourceLabel(), "proj");
    EXPECT_EQ(model.status(), "No text files found");
}

TEST_F(PackerModelTest, SeveralInputsAreTitledByCountAndPathedFromTheirCommonFolder) {
    writeFile(dir / "q" / "r.txt", "r\n");
    writeFile(dir / "a.txt", "a\n");
    model.pack({dir / "q", dir / "q" / "r.txt", dir / "a.txt"});
    ASSERT_TRUE(waitUntilPacked(model));
    EXPECT_EQ(model.sourceLabel(), "3 items");
    // The folder and the file inside it are one file; paths run from the shared parent.
    EXPECT_CONTAINS(model.result()->markdown, "## `q/r.txt`\n");
    EXPECT_CONTAINS(model.result()->markdown, "## `a.txt`\n");
}

TEST_F(PackerModelTest, AnEmptyRequestChangesNothing) {
    model.pack({});
    QCoreApplication::processEvents();
    EXPECT_TRUE(published.empty());
    EXPECT_FALSE(model.isPacking());
}

TEST_F(PackerModelTest, RequestsInQuickSuccessionAreAllPackedInTheOrderMade) {
    writeFile(dir / "one" / "a.txt", "a\n");
    writeFile(dir / "two" / "b.txt", "b\n");
    writeFile(dir / "two" / "c.txt", "c\n");
    model.pack({dir / "one"});
    model.pack({dir / "two"});
    ASSERT_TRUE(processEventsUntil(
        [&] { return model.sourceLabel() == "two" && !model.status().startsWith("Packing"); }));

    std::vector<QString> statuses;
    std::vector<QString> labels;
    bool packingAfterFirst = true;
    for (const Snapshot& s : published) {
        if (statuses.empty() || statuses.back() != s.status) statuses.push_back(s.status);
        if (!s.sourceLabel.isEmpty() && (labels.empty() || labels.back() != s.sourceLabel))
            labels.push_back(s.sourceLabel);
        if (s.status == "Packed 1 files ✓") packingAfterFirst = s.isPacking;
    }
    EXPECT_EQ(statuses,
              (std::vector<QString>{"Packing…", "Packed 1 files ✓", "Packed 2 files ✓"}));
    EXPECT_EQ(labels, (std::vector<QString>{"one", "two"}));
    // Busy until the last request has finished, not only the first.
    EXPECT_TRUE(packingAfterFirst);
    EXPECT_EQ(model.result()->fileCount, 2);
}

TEST_F(PackerModelTest, TwoHundredPackingsInARowKeepNoMemory) {
    for (int i = 0; i < 40; ++i)
        writeFile(dir / "p" / ("f" + std::to_string(i) + ".txt"), std::string(3'000 + i, 'x'));
    writeFile(dir / "p/big.txt", std::string(400'000, 'b'));
    const auto packOnce = [&] {
        model.pack({dir / "p"});
        ASSERT_TRUE(waitUntilPacked(model));
        ASSERT_EQ(model.result()->fileCount, 41);
    };
    for (int i = 0; i < 20; ++i)
        packOnce();  // caches, pools and the allocator settle
    published.clear();
    const std::size_t settled = TestSupport::residentBytes();
    for (int i = 0; i < 180; ++i)
        packOnce();
    const std::size_t after = TestSupport::residentBytes();
    if (!TestSupport::addressSanitizer) {
        // Keeping even one document a packing would be over 40 MB here.
        EXPECT_LT(after, settled + (4u << 20)) << "settled " << settled << ", after " << after;
    }
}

TEST_F(PackerModelTest, ChoosePacksThePanelsFilesAndFoldersInItsOrder) {
    writeFile(dir / "b.txt", "b\n");
    writeFile(dir / "sub" / "c.txt", "c\n");
    script.inputs = std::vector<fs::path>{dir / "b.txt", dir / "sub"};
    model.choose();
    EXPECT_EQ(script.calls, (std::vector<std::string>{"activate", "choose"}));
    EXPECT_EQ(script.prompt, "Pack");
    EXPECT_EQ(script.message, "Choose files or a folder to pack into one context.md");
    EXPECT_EQ(model.status(), "Packing…");
    ASSERT_TRUE(waitUntilPacked(model));
    EXPECT_EQ(model.sourceLabel(), "2 items");
    EXPECT_EQ(model.result()->fileCount, 2);
}

TEST_F(PackerModelTest, ACancelledOrEmptyOpenPanelChangesNothing) {
    model.choose();
    script.inputs = std::vector<fs::path>{};
    model.choose();
    QCoreApplication::processEvents();
    EXPECT_TRUE(published.empty());
}

TEST_F(PackerModelTest, CopyAndSaveWithoutAResultDoNothing) {
    model.copyToClipboard();
    script.saveDestination = dir / "context.md";
    model.save();
    EXPECT_TRUE(script.calls.empty());
    EXPECT_TRUE(published.empty());
    EXPECT_FALSE(fs::exists(dir / "context.md"));
}

class PackerModelWithResultTest : public PackerModelTest {
  protected:
    void SetUp() override {
        writeFile(dir / "in" / "a.md", "# A\n");
        model.pack({dir / "in"});
        ASSERT_TRUE(waitUntilPacked(model));
        published.clear();
        script.calls.clear();
    }
};

TEST_F(PackerModelWithResultTest, CopyPutsTheDocumentOnThePasteboardAsItIs) {
    model.copyToClipboard();
    EXPECT_EQ(script.clipboard, model.result()->markdown);
    EXPECT_EQ(model.status(), "Copied to clipboard ✓");
    EXPECT_TRUE(model.hasResult());
}

TEST_F(PackerModelWithResultTest, SaveWritesTheDocumentThenRevealsIt) {
    script.saveDestination = dir / "out" / "context.md";
    fs::create_directory(dir / "out");
    QString statusAtReveal;
    script.onReveal = [&] { statusAtReveal = model.status(); };
    model.save();
    EXPECT_EQ(script.proposedName, "context.md");
    EXPECT_EQ(script.calls, (std::vector<std::string>{"activate", "save", "reveal"}));
    EXPECT_EQ(TestSupport::readFile(dir / "out" / "context.md"), model.result()->markdown);
    EXPECT_EQ(statusAtReveal, "Saved ✓");
    EXPECT_EQ(script.revealed, std::vector<fs::path>{dir / "out" / "context.md"});
    EXPECT_EQ(TestSupport::listNames(dir / "out"), std::vector<std::string>{"context.md"});
}

TEST_F(PackerModelWithResultTest, ACancelledSavePanelChangesNothing) {
    model.copyToClipboard();
    published.clear();
    model.save();
    EXPECT_TRUE(published.empty());
    EXPECT_EQ(model.status(), "Copied to clipboard ✓");
}

TEST_F(PackerModelWithResultTest, AFailedSaveKeepsTheOldFileAndRevealsNothing) {
    fs::create_directory(dir / "out");
    writeFile(dir / "out" / "context.md", "old");
    script.saveDestination = dir / "out" / "context.md";
    // A file-size limit makes the write fail part-way even for root.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    // As a fresh process has it: the model itself must keep the signal from killing it.
    const auto oldHandler = ::signal(SIGXFSZ, SIG_DFL);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    model.save();
    setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(model.status(), "Couldn't save");
    EXPECT_EQ(TestSupport::readFile(dir / "out" / "context.md"), "old");
    EXPECT_EQ(TestSupport::listNames(dir / "out"), std::vector<std::string>{"context.md"});
    EXPECT_TRUE(script.revealed.empty());
    EXPECT_TRUE(model.hasResult());
}

TEST(QtPlatformTest, ThePasteboardHoldsTheDocumentAsPlainText) {
    Platform platform = makeQtPlatform();
    const std::string document = "# Context: x\n\n```\n≈ ✓ — …\n```\n";
    platform.clipboard->setText(document);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), document);
}

TEST(PackerModelVersionTest, FallsBackToOnePointZeroWhenTheBuildNamesNoVersion) {
    EXPECT_EQ(PackerModel::versionText(""), "1.0");
    EXPECT_EQ(PackerModel::versionText(nullptr), "1.0");
    EXPECT_EQ(PackerModel::versionText("1.4"), "1.4");
}

}  // namespace
