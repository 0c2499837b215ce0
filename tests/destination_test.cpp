// Where the packer writes: nothing the user named is destroyed, no node is replaced by a file,
// nothing is left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "tessaly/atomic_file.h"
#include "test_support.h"

using namespace tessaly;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;
namespace fs = std::filesystem;

namespace {

TestSupport::RunResult pack(const TempDir& dir, std::vector<std::string> args) {
    return TestSupport::runProgram(TESSALY_PACK_PATH, args, {dir.path(), std::nullopt});
}

struct DestinationCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* file;      // read afterwards
    const char* contents;  // what it holds then: its old text, or a document ("# Context")
};

const DestinationCase destinations[] = {
    {"an input itself", {"-o", "a.txt", "a.txt", "p"}, 2, "a.txt", "mine\n"},
    {"a file of a packed folder", {"-o", "p/README.md", "p"}, 2, "p/README.md", "# readme\n"},
    {"an earlier document", {"-o", "p/context.md", "p"}, 0, "p/context.md", "# Context: p"},
    {"a name of 250 bytes", {"-o", std::string(250, 'n'), "p"}, 0, "", "# Context: p"},
};

}  // namespace

TEST(DestinationTest, NeverDestroysAnInputNorTheNodeItWritesTo) {
    for (const DestinationCase& c : destinations) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir / "a.txt", "mine\n");
        writeFile(dir / "p/README.md", "# readme\n");
        writeFile(dir / "p/context.md", "# Context: p\n\nold\n");
        const auto r = pack(dir, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        const std::string file = *c.file ? c.file : c.args[1];
        EXPECT_TRUE(readFile(dir / file).starts_with(c.contents));
        for (const std::string& name : TestSupport::listNames(dir.path()))
            EXPECT_FALSE(name.starts_with(".tessaly-")) << "temporary left: " << name;
    }
}

TEST(DestinationTest, AFifoBehindALinkIsWrittenIntoNotReplaced) {
    TempDir dir;
    writeFile(dir / "p/a.txt", "a\n");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("fifo", dir / "out");
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int fd = ::open((dir / "fifo").c_str(), O_RDONLY);
        char buffer[4096];
        std::size_t total = 0;
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            total += static_cast<std::size_t>(n);
        ::_exit(total > 0 ? 0 : 1);
    }
    const auto r = pack(dir, {"-o", "out", "p"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_symlink(dir / "out"));
    ::kill(reader, SIGKILL);  // still waiting for a writer when the fifo was not opened
    ::waitpid(reader, nullptr, 0);
}

TEST(DestinationTest, ReplacingAFileKeepsItsOwnerGroupAndMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
    TempDir dir;
    writeFile(dir / "p/a.txt", "a\n");
    writeFile(dir / "notes.md", "# Context: old\n");
    ASSERT_EQ(::chown((dir / "notes.md").c_str(), 65534, 65534), 0);
    fs::permissions(dir / "notes.md", fs::perms(0640));
    ASSERT_EQ(pack(dir, {"-o", "notes.md", "p"}).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "notes.md").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(DestinationTest, ATerminatedWriteLeavesNoTemporary) {
    TempDir dir;
    const std::string document(200u << 20, 'x');  // long enough to be caught while written
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const pid_t child = ::fork();
        if (child == 0) {
            AtomicFile::write(dir / "out.md", document);
            ::_exit(0);
        }
        bool seen = false;
        for (int i = 0; i < 2000 && !seen; ++i) {
            for (const std::string& name : TestSupport::listNames(dir.path()))
                seen = seen || name.starts_with(".tessaly-");
            if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(seen);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(TestSupport::listNames(dir.path()), std::vector<std::string>{});
    }
}
