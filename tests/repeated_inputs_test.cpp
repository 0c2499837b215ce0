// An input met again is not walked again, yet the document, the figures and the skipped list
// are what walking it again gives.
#include <gtest/gtest.h>

#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;
using TestSupport::TempDir;
using TestSupport::writeFile;
namespace fs = std::filesystem;

TEST(RepeatedInputsTest, FoldingRepeatsGivesWhatWalkingEachInputGives) {
    TempDir dir;
    writeFile(dir / "d/README.md", "# d\n");
    writeFile(dir / "d/sub/a.txt", "a\n");
    writeFile(dir / "d/sub/b.bin.txt", std::string("b\0b", 3));  // not text
    writeFile(dir / "d/sub/deeper/c.txt", "c\n");
    writeFile(dir / "d/.hidden/h.txt", "h\n");
    writeFile(dir / "d/node_modules/m.txt", "m\n");
    writeFile(dir / "e/x.txt", "x\n");
    fs::create_directory_symlink(dir / "d", dir / "alias");
    const fs::path d = dir / "d";
    const std::vector<std::vector<fs::path>> cases{
        {d, d, d},
        {d, d / "sub", d / "sub/deeper"},
        {d / "sub", d, d / "sub"},
        {d / "sub/a.txt", d, d / "sub/a.txt"},
        {d, dir / "alias", dir / "e", d},
        {d / ".hidden", d, d / "node_modules"},  // met directly, walked; not inside d's walk
    };
    for (const auto& inputs : cases) {
        SCOPED_TRACE(inputs.back().string());
        Collect::Options walkEach;
        walkEach.dropRepeatedBytes = true;
        auto each = Collect::files(inputs, walkEach);
        const PackResult expected = Pack::build(std::move(each.files), Pack::commonRoot(inputs),
                                                std::move(each.skipped), Pack::titleFor(inputs));
        const PackResult folded = Pack::packInputs(inputs).result;
        EXPECT_EQ(folded.markdown, expected.markdown);
        EXPECT_EQ(folded.fileCount, expected.fileCount);
        EXPECT_EQ(folded.duplicates, expected.duplicates);
        EXPECT_EQ(folded.skipped, expected.skipped);
    }
}
