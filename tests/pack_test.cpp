// The document from collected files: layout, duplicates, order, paths, fences, tags, counts.

#include <gtest/gtest.h>

#include "measure.h"  // facts as the walk takes them, to hand over with files
#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "tessaly/summary.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Files = std::vector<Collect::CollectedFile>;

namespace {

Files filesAt(const fs::path& root, const Strings& relsAndBodies) {
    Files files;
    for (std::size_t i = 0; i + 1 < relsAndBodies.size(); i += 2)
        files.push_back({root / relsAndBodies[i], relsAndBodies[i + 1]});
    return files;
}

// The paths of the document's file list, in document order.
Strings listed(const Files& files, const fs::path& root = "/r") {
    const std::string markdown = Pack::build(files, root, {}).markdown;
    const std::string list = markdown.substr(0, markdown.find("\n---\n"));
    Strings out;
    for (auto at = list.find("\n- `"); at != std::string::npos; at = list.find("\n- `", at + 1))
        out.push_back(list.substr(at + 4, list.find("`\n", at) - at - 4));
    return out;
}

}  // namespace

TEST(PackTest, DocumentIsLaidOutExactlyReadmeFirstAndFirstCopyKept) {
    // In collection order: the README last, the later copy of a duplicate first.
    const Files files =
        filesAt("/work/demo", {"src/main.swift", "print(1)", "y/one.txt", "same\n", "x/one.txt",
                               "same\n", "docs/guide.md", "x\n```py\ny\n```\n", "b.txt", "crlf\r\n",
                               "empty.txt", "", "README.md", "Hello\n"});
    // clang-format off
    const char* lines[] = {"# Context: demo", "", "## Files (6)", "", "- `README.md`", "- `b.txt`",
        "- `empty.txt`", "- `docs/guide.md`", "- `src/main.swift`", "- `y/one.txt`", "", "---", "",
        "## `README.md`", "", "```markdown", "Hello", "```", "", "## `b.txt`", "", "```", "crlf\r",
        "```", "", "## `empty.txt`", "", "```", "", "```", "", "## `docs/guide.md`", "",
        "````markdown", "x", "```py", "y", "```", "````", "", "## `src/main.swift`", "", "```swift",
        "print(1)", "```", "", "## `y/one.txt`", "", "```", "same", "```", ""};
    // clang-format on
    std::string expected;
    for (const char* line : lines)
        expected += std::string(line) + "\n";
    const PackResult r = Pack::build(files, "/work/demo", {"logo.bin — not text"}, "demo");
    EXPECT_EQ(r.markdown, expected);
    EXPECT_EQ((std::tuple{r.fileCount, r.duplicates, r.byteCount, r.tokenEstimate, r.skipped}),
              (std::tuple{6, 1, std::int64_t(expected.size()), Pack::estimateTokens(expected),
                          Strings{"logo.bin — not text"}}));
    EXPECT_EQ(Pack::build({}, "/work/demo", {}).markdown,  // titled by the root's name
              "# Context: demo\n\n## Files (0)\n\n\n---\n\n");
}

TEST(PackTest, CharactersAreUserPerceivedAndCrLfIsOne) {
    // Four copies, so the estimate (a quarter, rounded down, at least 1) is the count of one.
    const std::pair<std::string, std::int64_t> cases[] = {
        {"abc\r\n", 4}, {"\xC3\xA9\r\n", 2}, {"\xC3\xA9\ra\n", 4}, {"e\u0301\u0301\r\n", 2}};
    for (const auto& [t, characters] : cases)
        EXPECT_EQ(Pack::estimateTokens(t + t + t + t), characters) << testing::PrintToString(t);
    EXPECT_EQ(Pack::estimateTokens("abcdefg"), 1);
    // A document adds its bodies' counts to its framing's, which must equal counting it
    // whole: four paddings, so that a count one off crosses a multiple of four in one of them.
    const char* bodies[] = {"", "a", "a\r", "\xC3\xA9\r", "a\r\n", "\u0301", "```\r\n"};
    for (std::size_t i = 0; i < 4 * std::size(bodies); ++i) {
        const std::string body = std::string(i % 4, 'x') + bodies[i / 4];
        const PackResult r = Pack::build(filesAt("/r", {"f", body}), "/r", {});
        EXPECT_EQ(r.tokenEstimate, Pack::estimateTokens(r.markdown))
            << testing::PrintToString(body);
    }
}

TEST(PackTest, OrderIsReadmesThenTopLevelThenSubfoldersEachInNaturalOrder) {
    // Digits by value, case ignored, and names equal but for case in collection order.
    Strings files;
    for (const char* rel :
         {"src/b/c.py", "setup.cfg", "README.md", "src/a.py", "file10.txt", "Zeta.md", "alpha.md",
          "B.txt", "b.txt", "file2.txt", "ReadMe.txt", "docs/README.md"})
        files.insert(files.end(), {rel, rel});
    EXPECT_EQ(
        listed(filesAt("/r", files)),
        (Strings{"docs/README.md", "README.md", "ReadMe.txt", "alpha.md", "B.txt", "b.txt",
                 "file2.txt", "file10.txt", "setup.cfg", "Zeta.md", "src/a.py", "src/b/c.py"}));
}

TEST(PackTest, FactsAreTrustedOnlyWhileTheyFitTheBytes) {
    // Facts of other bytes than the file now holds are measured again.
    const Collect::CollectedFile stale{"/r/s.md", "one ```` two\n", Collect::measure("x\n")};
    EXPECT_CONTAINS(Pack::build({stale}, "/r", {}).markdown, "`````markdown\none ```` two\n`````");
    // A file whose repeated bytes were let go of is a copy of the earlier one, and is left out
    // when that one is not there: a later copy with bytes then shows them.
    Collect::FileFacts facts = Collect::measure("once\n");
    facts.bytesDropped = true;
    const Collect::CollectedFile a{"/r/a.md", "once\n"}, b{"/r/b.md", Bytes(), facts};
    EXPECT_EQ(Pack::build({a, b}, "/r", {}).duplicates, 1);
    EXPECT_EQ(listed({b, a}), Strings{"a.md"});
}

TEST(PackTest, PathsAreTakenAgainstTheInputsCommonFolderWithDotSegmentsResolved) {
    // clang-format off
    const char* cases[][3] = {
        {"/u/p/src/main.swift", "/u/p", "src/main.swift"}, {"/u/p/x.c", "/u/p/", "x.c"},
        {"/u/other/a.txt", "/u/p", "a.txt"}, {"/u/pq/a.txt", "/u/p", "a.txt"},  // outside: the name
        {"/u/p/./src/../a.txt", "/u/p", "a.txt"}, {"/u/p/x/y.txt", "/u/q/../p", "x/y.txt"},
        {"/u/p/../q/y.txt", "/u/p", "y.txt"}, {"/u/p/d\xFF/b.txt", "/u/p", "d\uFFFD/b.txt"},
        {"/u/x/a.txt", "/", "u/x/a.txt"}, {"/u/x/../a.txt", "/", "u/a.txt"}};  // below "/": whole
    // clang-format on
    for (const auto& [file, root, rel] : cases)
        EXPECT_EQ(Pack::relPath(file, root), rel) << file << " against " << root;
    TestSupport::TempDir dir;
    fs::create_directory(dir / "proj");
    // clang-format off
    const std::pair<std::vector<fs::path>, fs::path> roots[] = {
        {{dir / "proj/."}, dir / "proj"}, {{dir / "missing.txt"}, dir.path()},  // a folder, a file
        {{"/u/p/a.txt", "/u/p/b/c/y.txt"}, "/u/p"}, {{"/u/pa/a.txt", "/u/pb/b.txt"}, "/u"},
        {{"/u/p/./a.txt", "/u/p/sub/../b.txt"}, "/u/p"}, {{"/u/p/q/..", "/u/p/a.txt"}, "/u"},
        {{"/u/x/a.txt", "/v/x/a.txt"}, "/"}};
    // clang-format on
    for (const auto& [inputs, root] : roots)
        EXPECT_EQ(Pack::commonRoot(inputs), root) << inputs.front();
    EXPECT_EQ(listed(filesAt("/", {"u/x/a.txt", "u", "v/x/a.txt", "v"}), "/"),
              (Strings{"u/x/a.txt", "v/x/a.txt"}));  // sharing only "/", same names stay apart
    EXPECT_EQ(Pack::titleFor({"/u/p\xE9/"}), "p\uFFFD");
    EXPECT_EQ(Pack::titleFor({"/a", "/b", "/a"}), "3 items");
}

TEST(PackTest, FenceOutrunsBacktickCharactersAndTheTagCannotBreakItsLine) {
    // A backtick carrying a combining mark is another character: it ends a run.
    // clang-format off
    const std::pair<std::string, std::size_t> fences[] = {
        {"", 3}, {"a `b` and ``c``", 3}, {"x ``` y\n`````\nz", 6}, {"ends ```", 4},
        {"\xC3\xA9 ``````", 7}, {"a\r\n````\r\n", 5}, {"~~~~~~", 3}, {"````\u0301```", 4},
        {"```\u0301", 3}, {"``\u0301``\u0300``", 3}};
    // No tag for plain text, no extension, or one that could break the fence line.
    const std::pair<const char*, const char*> tags[] = {
        {"main.swift", "swift"}, {"App.JS", "javascript"}, {"types.d.ts", "typescript"},
        {"NOTES.MARKDOWN", "markdown"}, {"src/a.b/x.hpp", "cpp"}, {"Straße.ÄBC", "äbc"},
        {"a.C++", "c++"}, {"a.f#", "f#"}, {"a.x86_64-asm", "x86_64-asm"}, {"a.\u0661", "\u0661"},
        {"a.abcdefghijklmnopq", "abcdefghijklmnopq"}, {"x.a{b}", "a{b}"},
        {"notes.txt", ""}, {"Makefile", ""}, {"src/lib.d/README", ""}, {".gitignore", ""},
        {"notes.a`b", ""}, {"x.a\nb", ""}, {"x.a b", ""}, {"xm.i\x16nmaisft", ""}, {"x.a\x7f", ""},
        {"x.a\u00A0b", ""}, {"x.a\u3000b", ""}, {"x.a\tb", ""}, {"x.a\rb", ""},
        {"x.log_--decorate=full_--all", "log_--decorate=full_--all"}};
    // clang-format on
    for (const auto& [text, ticks] : fences)
        EXPECT_EQ(Pack::fence(text), std::string(ticks, '`')) << testing::PrintToString(text);
    for (const auto& [path, tag] : tags)
        EXPECT_EQ(Pack::language(path), tag) << testing::PrintToString(path);
}

TEST(PackTest, SummaryTextsAndTheSizeWarning) {
    PackResult r{{}, 0, PackResult::tokenLimit, 0, 3, {"a", "b"}};  // no file, 3 copies, 2 skipped
    EXPECT_EQ(Summary::statusText(r), "No text files found");
    EXPECT_EQ(Summary::notesLine(r), "3 duplicates removed · 2 skipped (binary/large)");
    EXPECT_FALSE(r.overLimit());
    EXPECT_TRUE((++r.tokenEstimate, r.overLimit()));
    EXPECT_EQ(Summary::byteCountFigure(999'960), "1.0 MB");  // not "1,000.0 kB"
}
