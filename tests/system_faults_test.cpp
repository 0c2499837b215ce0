// What Linux can put in a tree that a friendlier file system would not: pipes, devices,
// sockets, link loops, locked folders, names that are not UTF-8, paths past PATH_MAX.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "read_file.h"
#include "tessaly/atomic_file.h"
#include "tessaly/collect.h"
#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

void put(std::string& out, std::string_view s) {
    std::uint64_t n = s.size();
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
    out.append(s);
}

std::string take(std::string_view& in) {
    std::uint64_t n = 0;
    if (in.size() < sizeof n) throw std::runtime_error("truncated");
    std::memcpy(&n, in.data(), sizeof n);
    in.remove_prefix(sizeof n);
    if (in.size() < n) throw std::runtime_error("truncated");
    std::string s(in.substr(0, n));
    in.remove_prefix(n);
    return s;
}

// Caps the address space at `headroom` bytes beyond what the process maps already. Relative
// rather than absolute, since AddressSanitizer maps terabytes of shadow memory at start-up.
bool capAddressSpaceGrowth(std::uint64_t headroom) {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    if (!(statm >> pages)) return false;
    const std::uint64_t cap = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit limit{cap, cap};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

struct ChildCollect {
    std::string problem;  // empty when the child reported a result
    Collect::Collected collected;
};

// Collects in a forked child, so a read that blocks or a walk that crashes fails the test
// instead of hanging or killing the suite. With `asNobody` the child gives up root first,
// since root reads through any permission bits.
ChildCollect collectInChild(const std::vector<fs::path>& inputs, bool asNobody = false) {
    auto child = TestSupport::runInChild(
        [&]() -> std::string {
            // An unbounded read of /dev/zero dies here instead of eating the machine's memory.
            if (!capAddressSpaceGrowth(std::uint64_t{4} << 30))
                return "E" + std::string("cannot cap the address space: ") + strerror(errno);
            if (asNobody && geteuid() == 0) {
                if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                    return "E" + std::string("cannot drop privileges: ") + strerror(errno);
            }
            try {
                auto c = Collect::files(inputs);
                std::string out = "R";
                put(out, std::to_string(c.files.size()));
                for (const auto& f : c.files)
                    put(out, f.path), put(out, f.data);
                put(out, std::to_string(c.skipped.size()));
                for (const auto& s : c.skipped)
                    put(out, s);
                return out;
            } catch (const std::exception& e) {
                return std::string("Eexception escaped: ") + e.what();
            }
        },
        std::chrono::seconds(10));
    ChildCollect result;
    if (!child.finished) return {"did not finish within 10 s (blocked?)", {}};
    if (child.exitCode != 0 || child.output.empty())
        return {"child died, exit code " + std::to_string(child.exitCode), {}};
    if (child.output[0] == 'E') return {child.output.substr(1), {}};
    std::string_view in(child.output);
    in.remove_prefix(1);
    for (auto n = std::stoul(take(in)); n > 0; --n) {
        std::string url = take(in);
        result.collected.files.push_back({url, take(in)});
    }
    for (auto n = std::stoul(take(in)); n > 0; --n)
        result.collected.skipped.push_back(take(in));
    return result;
}

std::vector<std::string> names(const Collect::Collected& c) {
    std::vector<std::string> out;
    for (const auto& f : c.files)
        out.push_back(std::filesystem::path(f.path).filename());
    return out;
}

}  // namespace

class SpecialFilesTest : public testing::Test {
  protected:
    void SetUp() override {
        writeFile(dir_ / "p/a.txt", "a\n");
        writeFile(dir_ / "p/z.txt", "z\n");
    }
    TempDir dir_;
};

TEST_F(SpecialFilesTest, FifoInAFolderIsNotTextAndDoesNotBlock) {
    ASSERT_EQ(mkfifo((dir_ / "p/pipe").c_str(), 0644), 0);
    auto r = collectInChild({dir_ / "p"});
    ASSERT_EQ(r.problem, "");
    EXPECT_EQ(names(r.collected), (Strings{"a.txt", "z.txt"}));
    EXPECT_EQ(r.collected.skipped, (Strings{"pipe — not text"}));
}

TEST_F(SpecialFilesTest, FifoGivenDirectlyIsNotTextAndDoesNotBlock) {
    ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0644), 0);
    auto r = collectInChild({dir_ / "pipe", dir_ / "p/a.txt"});
    ASSERT_EQ(r.problem, "");
    EXPECT_EQ(names(r.collected), (Strings{"a.txt"}));
    EXPECT_EQ(r.collected.skipped, (Strings{"pipe — not text"}));
}

TEST_F(SpecialFilesTest, SocketInAFolderIsNotText) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = (dir_ / "p/sock").string();
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
    auto r = collectInChild({dir_ / "p"});
    ASSERT_EQ(r.problem, "");
    EXPECT_EQ(names(r.collected), (Strings{"a.txt", "z.txt"}));
    EXPECT_EQ(r.collected.skipped, (Strings{"sock — not text"}));
}

TEST_F(SpecialFilesTest, DevicesGivenDirectlyAreNotText) {
    // /dev/null reads as empty and /dev/zero never ends: neither may pass as a file.
    auto r = collectInChild({"/dev/null", "/dev/zero"});
    ASSERT_EQ(r.problem, "");
    EXPECT_TRUE(r.collected.files.empty());
    EXPECT_EQ(r.collected.skipped, (Strings{"null — not text", "zero — not text"}));
}

TEST_F(SpecialFilesTest, LinkLoopsAndDanglingLinksAreHarmless) {
    fs::create_symlink(dir_ / "loop-b", dir_ / "loop-a");
    fs::create_symlink(dir_ / "loop-a", dir_ / "loop-b");
    fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
    fs::create_symlink("loop-d", dir_ / "p/loop-c");
    fs::create_symlink("loop-c", dir_ / "p/loop-d");
    auto r = collectInChild({dir_ / "loop-a", dir_ / "dangling", dir_ / "p"});
    ASSERT_EQ(r.problem, "");
    EXPECT_EQ(names(r.collected), (Strings{"a.txt", "z.txt"}));
    EXPECT_EQ(r.collected.skipped, Strings{});
}

TEST(BoundedReadTest, FileThatGrewPastTheLimitSinceItsSizeWasTakenIsTooLarge) {
    TempDir dir;
    writeFile(dir / "grown.txt", std::string(Collect::sizeLimit + 1, 'g'));
    writeFile(dir / "exact.txt", std::string(Collect::sizeLimit, 'e'));
    const auto readWithStaleSize = [&](const char* name) {
        const int fd = open((dir / name).c_str(), O_RDONLY);
        ByteArena arena;
        auto r = ReadFile::bounded(fd, 10, Collect::sizeLimit, arena);  // as if it had 10 bytes
        close(fd);
        return r;
    };
    EXPECT_EQ(readWithStaleSize("grown.txt").outcome, ReadFile::Outcome::tooLarge);
    const auto exact = readWithStaleSize("exact.txt");
    EXPECT_EQ(exact.outcome, ReadFile::Outcome::ok);
    EXPECT_EQ(exact.data.size(), static_cast<std::size_t>(Collect::sizeLimit));
}

TEST(PermissionsTest, UnreadableFolderIsPassedOverAndUnreadableFileIsNotText) {
    TempDir dir;
    writeFile(dir / "p/open.txt", "open\n");
    writeFile(dir / "p/secret.txt", "secret\n");
    writeFile(dir / "p/locked/inside.txt", "inside\n");
    writeFile(dir / "p/z.txt", "z\n");
    fs::permissions(dir / "p", fs::perms(0755));
    fs::permissions(dir / "p/open.txt", fs::perms(0644));
    fs::permissions(dir / "p/z.txt", fs::perms(0644));
    fs::permissions(dir / "p/secret.txt", fs::perms::none);
    fs::permissions(dir / "p/locked", fs::perms::none);

    auto walk = collectInChild({dir / "p"}, true);
    ASSERT_EQ(walk.problem, "");
    EXPECT_EQ(names(walk.collected), (Strings{"open.txt", "z.txt"}));
    EXPECT_EQ(walk.collected.skipped, (Strings{"secret.txt — not text"}));

    auto direct = collectInChild({dir / "p/locked", dir / "p/secret.txt"}, true);
    ASSERT_EQ(direct.problem, "");
    EXPECT_TRUE(direct.collected.files.empty());
    EXPECT_EQ(direct.collected.skipped, (Strings{"locked — not readable", "secret.txt — not text"}));
}

TEST(NonUtf8NamesTest, DocumentStaysValidUtf8WithReplacementCharacters) {
    TempDir dir;
    const fs::path top = dir / "n\xE9";
    writeFile(top / "caf\xE9.txt", "coffee\n");
    writeFile(top / "d\xFF/b.txt", "b\n");
    writeFile(top / "bad\xE9.txt", "\xE9t\xE9\n");
    auto packed = Pack::packInputs({top});
    const std::string& md = packed.result.markdown;
    EXPECT_TRUE(TestSupport::isStrictUtf8(md)) << md;
    EXPECT_EQ(packed.title, "n\uFFFD");
    EXPECT_EQ(md.rfind("# Context: n\uFFFD\n\n## Files (2)\n\n", 0), 0u) << md;
    EXPECT_CONTAINS(md, "- `caf\uFFFD.txt`\n- `d\uFFFD/b.txt`\n");
    EXPECT_CONTAINS(md, "## `d\uFFFD/b.txt`\n\n```\nb\n```\n");
    EXPECT_EQ(packed.result.skipped, (Strings{"bad\uFFFD.txt — not text"}));
}

TEST(DeepPathTest, FileBelowPathMaxIsCollected) {
    TempDir dir;
    const std::string level = "level-0123456789abcd";
    // Built with descriptors: no path call can name the bottom of this chain.
    int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    std::string rel = "chain";
    for (int i = 0; i <= 300 && fd >= 0; ++i) {
        const char* name = i == 0 ? "chain" : level.c_str();
        ASSERT_EQ(mkdirat(fd, name, 0755), 0);
        int next = openat(fd, name, O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
        if (i > 0) rel += "/" + level;
    }
    ASSERT_GE(fd, 0);
    int file = openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(file, "bottom\n", 7), 7);
    close(file);
    close(fd);
    ASSERT_GT(rel.size(), static_cast<size_t>(PATH_MAX));

    Collect::Collected c;
    ASSERT_NO_THROW(c = Collect::files({dir / "chain"}));
    ASSERT_EQ(c.files.size(), 1u);
    EXPECT_EQ(c.files[0].data, "bottom\n");
    EXPECT_EQ(c.files[0].path, dir / rel / "deep.txt");
    auto r = Pack::build(c.files, dir / "chain", c.skipped, "deep");
    EXPECT_CONTAINS(r.markdown, "- `" + rel.substr(6) + "/deep.txt`\n");
}

TEST(AtomicFileTest, ReplacesTheFileWholeThroughANewInode) {
    TempDir dir;
    writeFile(dir / "out.md", "an older and much longer document\n");
    ASSERT_EQ(link((dir / "out.md").c_str(), (dir / "old.md").c_str()), 0);
    AtomicFile::write(dir / "out.md", "new\n");
    EXPECT_EQ(TestSupport::readFile(dir / "out.md"), "new\n");
    // Truncating in place would have changed the other name of the old file too.
    EXPECT_EQ(TestSupport::readFile(dir / "old.md"), "an older and much longer document\n");
    EXPECT_EQ(TestSupport::listNames(dir.path()), (Strings{"old.md", "out.md"}));
}

TEST(AtomicFileTest, WritesThroughALinkAndKeepsTheFilesMode) {
    TempDir dir;
    writeFile(dir / "real.md", "old\n");
    fs::permissions(dir / "real.md", fs::perms(0640));
    fs::create_symlink("real.md", dir / "link.md");
    AtomicFile::write(dir / "link.md", "new\n");
    EXPECT_TRUE(fs::is_symlink(dir / "link.md"));
    EXPECT_EQ(TestSupport::readFile(dir / "real.md"), "new\n");
    EXPECT_EQ(fs::status(dir / "real.md").permissions(), fs::perms(0640));
}

TEST(AtomicFileTest, MissingFolderFailsWithAMessageNamingTheFile) {
    TempDir dir;
    std::optional<std::string> message;
    try {
        AtomicFile::write(dir / "missing/out.md", "x");
    } catch (const std::system_error& e) {
        message = e.what();
    }
    ASSERT_TRUE(message.has_value());
    EXPECT_CONTAINS(*message, (dir / "missing/out.md").string());
    EXPECT_CONTAINS(*message, strerror(ENOENT));
    EXPECT_EQ(TestSupport::listNames(dir.path()), Strings{});
}

TEST(AtomicFileTest, FailedReplaceLeavesDestinationAndNoTemporary) {
    TempDir dir;
    writeFile(dir / "taken/inside.txt", "kept\n");
    std::optional<std::string> message;
    try {
        AtomicFile::write(dir / "taken", "x");
    } catch (const std::system_error& e) {
        message = e.what();
    }
    ASSERT_TRUE(message.has_value());
    EXPECT_CONTAINS(*message, (dir / "taken").string());
    EXPECT_TRUE(fs::is_directory(dir / "taken"));
    EXPECT_EQ(TestSupport::readFile(dir / "taken/inside.txt"), "kept\n");
    EXPECT_EQ(TestSupport::listNames(dir.path()), (Strings{"taken"}));
}
