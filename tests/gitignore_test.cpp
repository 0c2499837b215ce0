// Leaving out what git ignores: the packer keeps exactly the files git lists as untracked and
// not ignored (`git ls-files --others --exclude-standard`), on hand-made and generated trees.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tessaly/collect.h"
#include "test_support.h"

using namespace tessaly;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using TestSupport::writeFile;

namespace {

// Neither git nor the packer may read the settings or excludes of whoever runs the tests.
const TestSupport::TempDir home;
const std::string globalExcludes = [] {
    fs::create_directories(home / "xdg/git");
    ::setenv("HOME", home.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "xdg").c_str(), 1);
    ::setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
    return (home / "xdg/git/ignore").string();
}();

std::string git(const fs::path& dir, const Strings& args) {
    const TestSupport::RunResult r = TestSupport::runProgram("/usr/bin/git", args, {dir, {}});
    EXPECT_EQ(r.exitCode, 0) << "git " << args.front() << ": " << r.err;
    return r.out;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// A repository's files (each holding its own path, so none is a duplicate), its
// info/exclude, settings and the user's files, and the folder packed.
struct Case {
    const char* what = "";
    Files gitignores{};  // folder, lines
    Strings files{};
    std::string infoExclude{}, global{}, input = ".";
    Strings initOptions{};
    std::string settings{};  // added to the repository's .git/config
    Files homeFiles{};       // written into the home folder, and removed after
    bool linked = false;     // packs a work tree linked to the repository (git worktree add)
    Files links{};           // symbolic links: where, to what
};

// Files below `input` that git neither tracks nor ignores, less what the engine never packs
// (hidden entries: here only the .gitignore files).
std::set<std::string> gitKeeps(const fs::path& input) {
    std::set<std::string> kept;
    std::string out = git(input, {"ls-files", "-z", "--others", "--exclude-standard"});
    for (std::size_t start = 0, end; (end = out.find('\0', start)) != std::string::npos;
         start = end + 1) {
        const std::string path = out.substr(start, end - start);
        if (path.front() != '.' && path.find("/.") == std::string::npos) kept.insert(path);
    }
    return kept;
}

std::set<std::string> packerKeeps(const fs::path& input, const Collect::Options& options) {
    std::set<std::string> kept;
    for (const Collect::CollectedFile& f : Collect::files({input}, options).files)
        kept.insert(fs::path(f.path).lexically_relative(input).string());
    return kept;
}

void checkAgainstGit(const Case& c) {
    SCOPED_TRACE(c.what);
    TestSupport::TempDir dir;
    const fs::path repo = dir / "repo";
    fs::create_directories(repo);
    Strings init{"init", "-q"};
    init.insert(init.end(), c.initOptions.begin(), c.initOptions.end());
    git(repo, init);
    if (!c.infoExclude.empty()) writeFile(repo / ".git/info/exclude", c.infoExclude);
    if (!c.settings.empty())
        writeFile(repo / ".git/config", TestSupport::readFile(repo / ".git/config") + c.settings);
    fs::path tree = repo;
    if (c.linked) {
        git(repo, {"-c", "user.name=t", "-c", "user.email=t@t", "commit", "-q", "--allow-empty",
                   "-m", "t"});
        git(repo, {"worktree", "add", "-q", "../linked"});
        tree = dir / "linked";
    }
    for (const auto& [folder, lines] : c.gitignores)
        writeFile(tree / folder / ".gitignore", lines);
    for (const std::string& file : c.files)
        writeFile(tree / file, file);
    for (const auto& [link, target] : c.links)
        fs::create_symlink(target, tree / link);
    writeFile(globalExcludes, c.global);
    for (const auto& [name, text] : c.homeFiles)
        writeFile(home / name, text);
    Collect::Options options;
    options.gitignore = true;
    const fs::path input = (tree / c.input).lexically_normal();
    EXPECT_EQ(packerKeeps(input, options), gitKeeps(input));
    for (const auto& [name, text] : c.homeFiles)
        fs::remove(home / name);
}

const Case handMade[] = {
    {.what = "a name matches at any depth, a slash anchors to the .gitignore's folder",
     .gitignores = {{"", "name.txt\n/top.txt\nmid/x.txt\n"}},
     .files = {"name.txt", "a/name.txt", "top.txt", "a/top.txt", "mid/x.txt", "a/mid/x.txt"}},
    {.what = "negation, folder-only patterns, and no way back into an ignored folder",
     .gitignores = {{"", "*.log\n!keep.log\nout/\nlogs/\n!logs/a.log\nsome/*\n!some/a.log\n"}},
     .files = {"a.log", "keep.log", "d/keep.log", "out/x.md", "d/out", "logs/a.log", "some/a.log",
               "some/b.log", "some/c.md"}},
    {.what = "globs",
     .gitignores = {{"",
                     "?.c\n[ab]*.md\n[!a]z.txt\n[^x]w.md\n**/gen/**\na/**/b.txt\ndoc/**\n"
                     "**/tmp\nq[[:digit:]]\n/q?r\n"}},
     .files = {"x.c", "xy.c", "b1.md", "c1.md", "az.txt", "bz.txt", "xw.md", "yw.md", "g/gen/x.md",
               "gen/y.md", "a/b.txt", "a/x/y/b.txt", "doc/z.md", "w/tmp", "tmp/v.md", "q1", "qa",
               "q/r", "qxr"}},
    {.what = "escapes, comments, trailing spaces and CRLF",
     .gitignores = {{"", "\\#hash.txt\n\\!bang.txt\n#c.txt\ntrail.txt   \nsp\\ \ncrlf.txt\r\n"}},
     .files = {"#hash.txt", "!bang.txt", "#c.txt", "trail.txt", "sp ", "sp", "crlf.txt"}},
    {.what = "a deeper .gitignore decides first and anchors to its own folder",
     .gitignores = {{"", "*.log\nx.txt\n"}, {"sub", "!*.log\n/x.txt\n!y/x.txt\n"}},
     .files = {"a.log", "sub/a.log", "x.txt", "sub/x.txt", "sub/y/x.txt", "sub/z/x.txt"}},
    {.what = "a parent's rules apply when a subfolder is packed",
     .gitignores = {{"", "*.log\nsub/deep/\n"}, {"sub", "b.md\n"}},
     .files = {"sub/a.log", "sub/b.md", "sub/c.md", "sub/deep/d.md"},
     .input = "sub"},
    {.what = "info/exclude and the user's excludes file, below the .gitignore files",
     .gitignores = {{"", "!c.md\n"}},
     .files = {"a.md", "b.md", "c.md", "d.md"},
     .infoExclude = "a.md\n",
     .global = "b.md\nc.md\n"},
    {.what = "core.excludesFile in the repository's settings replaces the user's default file",
     .files = {"a.md", "b.md", "c.md"},
     .global = "b.md\n",
     .settings = "[core]\n\texcludesFile = ~/mine\n",
     .homeFiles = {{"mine", "a.md\n"}}},
    {.what = "core.excludesFile through an include, in quotes, and not from a subsection",
     .files = {"a.md", "b.md", "c.md"},
     .homeFiles = {{".gitconfig", "[include]\n\tpath = more\n"},
                   {"more",
                    "; mine\n[Core]\n\tExcludesFile = \"~/mi\" ne # a comment\n"
                    "[core \"x\"]\n excludesfile = c.md\n"},
                   {"mi ne", "b.md\n"}}},
    {.what = "core.excludesFile through an includeIf on the repository's folder",
     .files = {"a.md", "b.md", "c.md"},
     .homeFiles = {{".gitconfig",
                    "[includeIf \"gitdir:repo/\"]\n\tpath = m.cfg\n"
                    "[includeIf \"gitdir:elsewhere/\"]\n\tpath = o.cfg\n"},
                   {"m.cfg", "[core]\nexcludesFile = ~/m\n"},
                   {"o.cfg", "[core]\nexcludesFile = ~/o\n"},
                   {"m", "a.md\n"},
                   {"o", "b.md\n"}}},
    {.what = "a linked work tree: info/exclude from the repository it shares",
     .gitignores = {{"", "*.md\n!b.md\n"}},
     .files = {"a.md", "b.md", "c.txt", "d.txt"},
     .infoExclude = "c.txt\n",
     .linked = true},
    {.what = "a .gitignore that is a symbolic link is not read",
     .files = {"a.md", "rules"},
     .links = {{".gitignore", "rules"}}},
    {.what = "a .git file naming the repository elsewhere",
     .gitignores = {{"", "*.md\n"}},
     .files = {"a.md", "b.txt"},
     .initOptions = {"--separate-git-dir=../elsewhere.git"}},
};

TEST(GitignoreTest, KeepsExactlyWhatGitDoesNotIgnore) {
    for (const Case& c : handMade)
        checkAgainstGit(c);
}

// Random patterns of names, globs, slashes and "!" in .gitignore files at random depths.
TEST(GitignoreTest, KeepsExactlyWhatGitDoesNotIgnoreOnGeneratedTrees) {
    const Strings folders{"", "a", "b", "a/x", "b/a", "a/x/b"};
    const Strings names{"a", "b", "x.txt", "y.md", "ab", "x"};
    const Strings pieces{"a",  "b",  "x",   "*",   "?",     "[ab]",         "[!a]*", "**",  "*.txt",
                         "a*", "x*", "a**", "\\a", "[a-b]", "[[:alpha:]]*", "[^b]",  "*/**"};
    std::mt19937 random(7);
    const auto pick = [&random](const Strings& from) { return from[random() % from.size()]; };
    for (int tree = 0; tree < 30; ++tree) {
        Case c{.what = "generated"};
        for (int i = 0; i < 14; ++i) {
            const std::string folder = pick(folders);
            c.files.push_back((folder.empty() ? "" : folder + "/") + pick(names) + "f" +
                              std::to_string(i % 3));
            c.files.push_back((folder.empty() ? "" : folder + "/") + pick(names));
        }
        for (int list = 0; list < 3; ++list) {
            std::string lines;
            for (int n = 1 + random() % 4; n > 0; --n) {
                std::string pattern = random() % 4 == 0 ? "!" : "";
                if (random() % 3 == 0) pattern += "/";
                for (int parts = 1 + random() % 3; parts > 0; --parts)
                    pattern += pick(pieces) + (parts > 1 ? "/" : "");
                lines += pattern + (random() % 4 == 0 ? "/\n" : "\n");
            }
            c.gitignores.emplace_back(list == 0 ? "" : pick(folders), lines);
        }
        // A file and a folder of one name would clash: drop files that stand in a folder's way.
        std::erase_if(c.files, [&](const std::string& f) {
            return std::any_of(c.files.begin(), c.files.end(),
                               [&](const std::string& g) { return g.starts_with(f + "/"); });
        });
        std::erase_if(c.gitignores, [&](const auto& g) {
            return std::any_of(c.files.begin(), c.files.end(), [&](const std::string& f) {
                return (g.first + "/").starts_with(f + "/");
            });
        });
        std::string lines;
        for (const auto& [folder, text] : c.gitignores)
            lines += folder + ": " + text;
        SCOPED_TRACE(lines);
        checkAgainstGit(c);
    }
}

TEST(GitignoreTest, GitignoreActsOnlyInsideAWorkTreeAndExcludesActEverywhere) {
    TestSupport::TempDir dir;
    writeFile(dir / "p/.gitignore", "*.md\n");
    for (const char* file : {"a.md", "b.txt", "keep.txt", "sub/b.txt", "sub/c.txt"})
        writeFile(dir / "p" / file, file);
    struct Row {
        Strings excludes;
        std::set<std::string> kept;
    } rows[] = {
        {{}, {"a.md", "b.txt", "keep.txt", "sub/b.txt", "sub/c.txt"}},
        {{"*.txt", "!keep.txt"}, {"a.md", "keep.txt"}},
        {{"/b.txt", "sub/c*"}, {"a.md", "keep.txt", "sub/b.txt"}},
        {{"sub/"}, {"a.md", "b.txt", "keep.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.excludes));
        Collect::Options options;
        options.gitignore = true;
        options.excludes = row.excludes;
        EXPECT_EQ(packerKeeps(dir / "p", options), row.kept);
    }
}

std::string repeated(std::string_view s, int times) {
    std::string out;
    while (times-- > 0)
        out += s;
    return out;
}

// git itself takes exponential time on such patterns, backtracking over each star; and a
// .gitignore that is a pipe would block a reader.
TEST(GitignoreTest, BacktrackingPatternsAndAPipeForAGitignoreEndInTime) {
    TestSupport::TempDir dir;
    fs::create_directories(dir / "p");
    git(dir / "p", {"init", "-q"});
    ASSERT_EQ(::mkfifo((dir / "p/.gitignore").c_str(), 0600), 0);
    const std::string deep = "p/" + repeated(std::string(50, 'a') + "/", 30);
    writeFile(dir / deep / "f", "f");
    writeFile(dir / "p" / std::string(250, 'a'), "a");
    Collect::Options options;
    options.gitignore = true;
    options.excludes = {repeated("**/", 200) + repeated("*a", 12) + "*b",
                        "/**/" + repeated("a*", 30) + "a/**/*b", repeated("*a", 2000) + "b",
                        repeated("**/", 1000) + "x"};
    const auto child = TestSupport::runInChild(
        [&] { return std::to_string(packerKeeps(dir / "p", options).size()); },
        std::chrono::seconds(30));
    EXPECT_TRUE(child.finished);
    EXPECT_EQ(child.output, "2");
}

TEST(GitignoreTest, PackerCountsIgnoredEntriesOnlyWhenAsked) {
    TestSupport::TempDir dir;
    const fs::path repo = dir / "repo";
    fs::create_directories(repo);
    git(repo, {"init", "-q"});
    writeFile(repo / ".gitignore", "*.log\nbuild-asan/\n");
    for (const char* file : {"a.md", "b.log", "c.log", "build-asan/x.md", "d.txt", "e.png"})
        writeFile(repo / file, file);
    struct Row {
        Strings args;
        int files;
        int ignored;  // -1: no such key
        std::string notes;
    } rows[] = {
        {{}, 5, -1, ""},
        {{"--gitignore"}, 2, 3, "3 ignored"},
        {{"--exclude", "*.txt", "--exclude", "a.md"}, 3, 2, "2 ignored"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        Strings args = row.args;
        args.push_back(repo.string());
        args.insert(args.begin(), "--json");
        const auto json =
            nlohmann::json::parse(TestSupport::runProgram(TESSALY_PACK_PATH, args).err);
        EXPECT_EQ(json["fileCount"], row.files);
        EXPECT_EQ(json.contains("ignored") ? json["ignored"].get<int>() : -1, row.ignored);
        args.erase(args.begin());
        const std::string summary = TestSupport::runProgram(TESSALY_PACK_PATH, args).err;
        if (!row.notes.empty()) {
            EXPECT_CONTAINS(summary, "\n" + row.notes + "\n");
        }
    }
}

}  // namespace
