// No file name can change the document's structure: whatever the names, the file list has one
// item a file, each file one heading, and each body stays inside its own code block.
#include <gtest/gtest.h>

#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

struct Structure {
    int listItems = 0;
    int headings = 0;
    int codeBlocks = 0;
    std::vector<std::string> strayHeadings;  // "#" lines outside any block but the document's
};

// CommonMark's rules for backtick fences, enough to tell what is inside a block.
Structure scan(const std::string& markdown) {
    Structure s;
    std::size_t open = 0;  // backticks of the fence that opened the current block
    std::istringstream lines(markdown);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t ticks = line.find_first_not_of('`');
        const std::size_t run = ticks == std::string::npos ? line.size() : ticks;
        if (open > 0) {
            if (run >= open && line.find_first_not_of("` ") == std::string::npos) open = 0;
        } else if (run >= 3 && line.find('`', run) == std::string::npos) {
            open = run;
            ++s.codeBlocks;
        } else if (line.starts_with("- ")) {
            ++s.listItems;
        } else if (line.starts_with("## ") && !line.starts_with("## Files (")) {
            ++s.headings;
        } else if (line.starts_with("#") && !line.starts_with("# Context: ") &&
                   !line.starts_with("## Files (")) {
            s.strayHeadings.push_back(line);
        }
    }
    return s;
}

}  // namespace

TEST(DocumentNamesTest, HostileNamesKeepOneItemOneHeadingAndOneBlockAFile) {
    TempDir dir;
    const std::vector<std::string> names{"x\n```\n# Injected heading",
                                         "b`c.txt",
                                         "`lead.txt",
                                         " both ",
                                         "a\rb.txt",
                                         "tab\tname.md",
                                         "a.txt",
                                         "``",
                                         "end`"};
    for (std::size_t i = 0; i < names.size(); ++i)
        writeFile(dir / "p" / names[i], "body " + std::to_string(i) + "\n# not a heading\n");
    const auto packed = Pack::packInputs({dir / "p"}, std::string("t\nx"));
    const std::string& md = packed.result.markdown;
    const Structure s = scan(md);
    EXPECT_EQ(s.listItems, static_cast<int>(names.size())) << md;
    EXPECT_EQ(s.headings, static_cast<int>(names.size())) << md;
    EXPECT_EQ(s.codeBlocks, static_cast<int>(names.size())) << md;
    EXPECT_EQ(s.strayHeadings, std::vector<std::string>{}) << md;
    EXPECT_TRUE(md.starts_with("# Context: t\uFFFDx\n"));
    for (const char* span : {"- ``b`c.txt``\n", "- `` `lead.txt ``\n", "- `a.txt`\n",
                             "- `  both  `\n", "- `a\uFFFDb.txt`\n", "- ``` `` ```\n",
                             "- `` end` ``\n", "## ````x\uFFFD```\uFFFD# Injected heading````\n"})
        EXPECT_CONTAINS(md, span);
}
