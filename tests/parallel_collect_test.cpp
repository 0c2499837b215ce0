// Reading on worker threads must give exactly what reading on the calling thread gives:
// the same files in the same order with the same bytes and facts, the same skipped lines,
// the same kept copy among duplicates and the same document.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <stop_token>
#include <string>
#include <vector>

#include "measure.h"
#include "tessaly/collect.h"
#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

// Text of `size` bytes: code with backtick runs, non-ASCII lines and CR LF endings.
std::string body(std::mt19937& rng, std::size_t size) {
    static const std::vector<std::string> lines{"int main() { return 0; }\n",
                                                "// ``` inside a comment\n",
                                                "naïve café\r\n",
                                                "x = `a` + ````b````\n",
                                                "👨‍👩‍👧 family\n",
                                                "e\u0301`\u0301`\n",
                                                "plain line of text\n",
                                                "\r\n"};
    std::uniform_int_distribution<std::size_t> pick(0, lines.size() - 1);
    std::string s;
    while (s.size() < size)
        s += lines[pick(rng)];
    s.resize(size);
    while (!s.empty() && static_cast<unsigned char>(s.back()) >= 0x80)
        s.pop_back();  // never cut a character in two
    return s;
}

// A tree with every outcome a file can have, spread over folders, and enough bytes that the
// readers go through more than one block of memory each.
void writeTree(const fs::path& root) {
    std::mt19937 rng(2026);
    std::uniform_int_distribution<std::size_t> smallSize(0, 30'000);
    std::vector<std::string> shared;  // contents that turn up again elsewhere
    for (int i = 0; i < 5; ++i)
        shared.push_back(body(rng, smallSize(rng)));
    for (int d = 0; d < 24; ++d) {
        const fs::path dir = root / ("dir" + std::to_string(d)) / (d % 3 ? "src" : "Lib");
        for (int f = 0; f < 30; ++f) {
            const std::string name = "file" + std::to_string(f);
            switch ((d * 30 + f) % 11) {
                case 0:
                    writeFile(dir / (name + ".txt"), shared[(d + f) % shared.size()]);
                    break;
                case 1:
                    writeFile(dir / (name + ".bin"), std::string("a\0b", 3));
                    break;
                case 2:
                    writeFile(dir / (name + ".csv"), "caf\xE9\n");
                    break;
                case 3:
                    writeFile(dir / (name + ".png"), "not read");
                    break;
                case 4:
                    writeFile(dir / (name + ".txt"), "");
                    break;
                default:
                    writeFile(dir / (name + ".c"), body(rng, smallSize(rng)));
            }
        }
        writeFile(dir / "big.txt", body(rng, 999'000 + d));
        if (d % 8 == 0) writeFile(dir / "huge.log", std::string(1'000'001, 'h'));
        writeFile(root / ("dir" + std::to_string(d)) / "node_modules/x.js", "pruned\n");
    }
    ::mkfifo((root / "dir1/pipe").c_str(), 0644);
    writeFile(root / "README.md", shared[0]);
}

Collect::Collected collectWith(const fs::path& root, unsigned threads, bool dropRepeated) {
    Collect::Options options;
    options.threads = threads;
    options.dropRepeatedBytes = dropRepeated;
    return Collect::files({root, root / "dir2", root / "README.md"}, options);
}

void expectSameCollection(const Collect::Collected& serial, const Collect::Collected& parallel) {
    ASSERT_EQ(serial.files.size(), parallel.files.size());
    for (std::size_t i = 0; i < serial.files.size(); ++i) {
        const Collect::CollectedFile& a = serial.files[i];
        const Collect::CollectedFile& b = parallel.files[i];
        ASSERT_EQ(a.path, b.path) << "file " << i;
        ASSERT_EQ(a.data.view(), b.data.view()) << a.path;
        ASSERT_EQ(a.facts, b.facts) << a.path;
    }
    EXPECT_EQ(serial.skipped, parallel.skipped);
}

class ParallelCollectTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        writeTree(dir_->path() / "tree");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static fs::path root() { return dir_->path() / "tree"; }

    static TempDir* dir_;
};

TempDir* ParallelCollectTest::dir_ = nullptr;

}  // namespace

TEST_F(ParallelCollectTest, WorkerThreadsCollectExactlyWhatTheCallingThreadDoes) {
    const Collect::Collected serial = collectWith(root(), 1, false);
    ASSERT_GT(serial.files.size(), 400u);
    ASSERT_GT(serial.skipped.size(), 50u);
    for (unsigned threads : {0u, 2u, 3u, 8u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        expectSameCollection(serial, collectWith(root(), threads, false));
    }
}

TEST_F(ParallelCollectTest, FactsTakenWhileReadingEqualMeasuringTheBytesAfterwards) {
    const Collect::Collected c = collectWith(root(), 3, false);
    for (const Collect::CollectedFile& file : c.files) {
        Collect::FileFacts measured = Collect::measure(file.data);
        ASSERT_EQ(file.facts, measured) << file.path;
    }
}

TEST_F(ParallelCollectTest, WorkerThreadsPackTheSameDocumentAsTheCallingThread) {
    const Collect::Collected serial = collectWith(root(), 1, true);
    const PackResult expected = Pack::build(serial.files, root(), serial.skipped, "t");
    ASSERT_GT(expected.duplicates, 10);
    for (unsigned threads : {0u, 2u, 8u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const Collect::Collected parallel = collectWith(root(), threads, true);
        const PackResult r = Pack::build(parallel.files, root(), parallel.skipped, "t");
        EXPECT_EQ(r.markdown, expected.markdown);
        EXPECT_EQ(r.fileCount, expected.fileCount);
        EXPECT_EQ(r.tokenEstimate, expected.tokenEstimate);
        EXPECT_EQ(r.duplicates, expected.duplicates);
        EXPECT_EQ(r.skipped, expected.skipped);
    }
}

TEST_F(ParallelCollectTest, PackingInputsOnWorkerThreadsGivesWhatOneThreadGives) {
    const std::vector<fs::path> inputs{root(), root() / "dir3", root() / "README.md"};
    Collect::Options serial;
    serial.threads = 1;
    const Pack::PackedInputs expected = Pack::packInputs(inputs, std::nullopt, serial);
    ASSERT_GT(expected.result.duplicates, 10);
    for (unsigned threads : {0u, 2u, 8u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        Collect::Options options;
        options.threads = threads;
        const Pack::PackedInputs packed = Pack::packInputs(inputs, std::nullopt, options);
        EXPECT_EQ(packed.root, expected.root);
        EXPECT_EQ(packed.title, expected.title);
        EXPECT_EQ(packed.result.markdown, expected.result.markdown);
        EXPECT_EQ(packed.result.fileCount, expected.result.fileCount);
        EXPECT_EQ(packed.result.tokenEstimate, expected.result.tokenEstimate);
        EXPECT_EQ(packed.result.duplicates, expected.result.duplicates);
        EXPECT_EQ(packed.result.skipped, expected.result.skipped);
    }
}

TEST_F(ParallelCollectTest, DroppingRepeatedBytesLeavesTheDocumentAsWithAllBytesKept) {
    const Collect::Collected all = collectWith(root(), 1, false);
    const Collect::Collected dropped = collectWith(root(), 2, true);
    std::size_t droppedCount = 0;
    for (const Collect::CollectedFile& file : dropped.files)
        droppedCount += file.facts.bytesDropped ? 1 : 0;
    EXPECT_GT(droppedCount, 0u);
    EXPECT_EQ(Pack::build(dropped.files, root(), dropped.skipped, "t").markdown,
              Pack::build(all.files, root(), all.skipped, "t").markdown);
}

TEST_F(ParallelCollectTest, StopRequestedBeforeTheWalkCollectsNothingAndReturns) {
    std::stop_source source;
    source.request_stop();
    for (unsigned threads : {1u, 2u}) {
        Collect::Options options;
        options.threads = threads;
        options.stop = source.get_token();
        const Collect::Collected c = Collect::files({root()}, options);
        EXPECT_TRUE(c.files.empty());
        EXPECT_TRUE(c.skipped.empty());
    }
}

TEST(CollectedFactsTest, FactsOfOtherBytesThanTheFileHoldsAreMeasuredAgain) {
    Collect::CollectedFile file("/r/a.md", "one ` two\n", Collect::measure("no backticks\n"));
    const PackResult r = Pack::build({file}, "/r", {}, "t");
    EXPECT_EQ(r.markdown,
              "# Context: t\n\n## Files (1)\n\n- `a.md`\n\n---\n\n"
              "## `a.md`\n\n```markdown\none ` two\n```\n\n");
}

TEST_F(ParallelCollectTest, FilesHandedOverWholeGiveTheSameDocumentAsFilesLent) {
    Collect::Collected c = collectWith(root(), 2, true);
    const PackResult lent = Pack::build(c.files, root(), c.skipped, "t");
    const PackResult handed = Pack::build(std::move(c.files), root(), c.skipped, "t");
    EXPECT_EQ(handed.markdown, lent.markdown);
    EXPECT_EQ(handed.tokenEstimate, lent.tokenEstimate);
    EXPECT_EQ(handed.duplicates, lent.duplicates);
}

TEST(CollectedFactsTest, FileWithoutItsRepeatedBytesCountsAsADuplicateOfTheEarlierCopy) {
    Collect::FileFacts dropped = Collect::measure("kept once\n");
    dropped.bytesDropped = true;
    const PackResult r = Pack::build({Collect::CollectedFile("/r/a.md", "kept once\n"),
                                      Collect::CollectedFile("/r/b.md", Bytes(), dropped)},
                                     "/r", {}, "t");
    EXPECT_EQ(r.fileCount, 1);
    EXPECT_EQ(r.duplicates, 1);
    EXPECT_EQ(r.markdown.find("b.md"), std::string::npos);
}

TEST(CollectedFactsTest, FileWithoutItsRepeatedBytesIsLeftOutWhenTheEarlierCopyIsNotThere) {
    Collect::FileFacts dropped = Collect::measure("kept once\n");
    dropped.bytesDropped = true;
    const PackResult alone =
        Pack::build({Collect::CollectedFile("/r/b.md", Bytes(), dropped)}, "/r", {}, "t");
    EXPECT_EQ(alone.fileCount, 0);
    EXPECT_EQ(alone.markdown, "# Context: t\n\n## Files (0)\n\n\n---\n\n");

    // A later copy that has its bytes is then the first to show them.
    const PackResult later = Pack::build({Collect::CollectedFile("/r/b.md", Bytes(), dropped),
                                          Collect::CollectedFile("/r/c.md", "kept once\n")},
                                         "/r", {}, "t");
    EXPECT_EQ(later.fileCount, 1);
    EXPECT_EQ(later.duplicates, 0);
    EXPECT_CONTAINS(later.markdown, "## `c.md`\n\n```markdown\nkept once\n```\n");
}
