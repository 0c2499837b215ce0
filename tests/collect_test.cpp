// Collection from real trees: what is kept and what is listed as rejected, in which order, with
// one thread as with the workers, and faults staged at exact points of the walk: linked with
// --wrap=open and --wrap=openat, every open of the engine passes through `opening` first.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sanitizer/asan_interface.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <sstream>

#include "read_file.h"
#include "tessaly/pack.h"
#include "tessaly/pack_inputs.h"
#include "test_support.h"

using namespace tessaly;

namespace fs = std::filesystem;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::mutex mutex;
std::function<void()> change;  // made once, just before the first open of a name "a"
std::string opened;            // what was opened that is neither a file nor a folder

void opening(int dirFd, const char* path) {
    struct stat st {};
    const std::string name = fs::path(path).filename();
    std::unique_lock lock(mutex);  // workers open files too
    if (fstatat(dirFd, path, &st, 0) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        opened += " opened " + name;
    if (name != "a" || !change) return;
    const std::function<void()> now = std::exchange(change, nullptr);
    lock.unlock();
    now();
}

// "path:size ..." of the kept files below `base`, then "|" and the skipped lines.
std::string collect(const fs::path& base, const std::string& inputs, Collect::Options o = {}) {
    std::vector<fs::path> paths;
    std::istringstream words(inputs);
    for (std::string word; words >> word;)
        paths.push_back(base / word);
    const Collect::Collected c = Collect::files(paths, o);
    std::string out;
    for (const Collect::CollectedFile& f : c.files)
        out += fs::path(f.path).lexically_relative(base).string() + ":" +
               std::to_string(f.data.size()) + " ";
    out += "|";
    for (const std::string& s : c.skipped)
        out += " " + s + ",";
    return out;
}

// Collects p/a/first.txt, p/b.txt, p/c/inside.txt and outside/s.txt, as `setUp` leaves
// them and as `staged` changes them once p is listed (while the walk is inside "a", which
// sorts first), in a child that is killed if it blocks, and as uid 65534 when `asNobody` (root
// reads through any permission bits). With everything on the calling thread (threads = 1) the
// same must come out as with two workers.
using Change = std::function<void(const fs::path& p)>;
std::string collectFaulted(const Change& setUp, const Change& staged,
                           const std::string& inputs = "p", bool asNobody = false) {
    std::string outcomes[3];
    for (unsigned threads : {1u, 2u}) {
        const TempDir dir;
        for (const char* name : {"p/a/first.txt", "p/b.txt", "p/c/inside.txt", "outside/s.txt"})
            writeFile(dir / name, fs::path(name).stem().string() + "\n");
        if (setUp) setUp(dir / "p");
        if (staged) change = [&] { staged(dir / "p"); };
        const auto child = TestSupport::runInChild(
            [&]() -> std::string {
                if (asNobody && geteuid() == 0 &&
                    (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                    return "cannot drop root";
                Collect::Options options;
                options.threads = threads;
                opened.clear();
                try {
                    const std::string out = collect(dir.path(), inputs, options) + opened;
                    return change ? out + " (never staged)" : out;
                } catch (const std::system_error& e) {
                    return "failed: " + e.code().message();
                }
            },
            std::chrono::seconds(5));
        change = nullptr;
        outcomes[threads] = child.finished ? child.output : "blocked";
    }
    return outcomes[1] == outcomes[2] ? outcomes[1] : outcomes[1] + " / workers: " + outcomes[2];
}

}  // namespace

// `mode` is passed, and used, only with O_CREAT or O_TMPFILE.
extern "C" int __real_open(const char* path, int flags, mode_t mode);
extern "C" int __real_openat(int dirFd, const char* path, int flags, mode_t mode);
extern "C" int __wrap_open(const char* path, int flags, mode_t mode) {
    opening(AT_FDCWD, path);
    return __real_open(path, flags, mode);
}
extern "C" int __wrap_openat(int dirFd, const char* path, int flags, mode_t mode) {
    opening(dirFd, path);
    return __real_openat(dirFd, path, flags, mode);
}

TEST(CollectTest, KeepsTextFilesAndListsRejectedOnesInTheOrderMet) {
    TempDir dir;
    for (const char* name :
         {"p/build/f.txt", "p/node_modules/x.js", "p/.hidden/in.txt", "p/.env", "p/Build/f.txt",
          "p/Makefile", "p/svg.txt", "p/sub/z.txt", "p/sub/deeper/y.txt", "node_modules/x.js",
          "outside/.env", "outside/s.txt", "p/logo.PNG", "p/f.lock", "outside/.DS_Store",
          "p/caf\xE9.txt"})
        writeFile(dir / name, "text\n");  // binary extensions too: they are dropped unread
    std::string nul(9000, 'a');
    writeFile(dir / "p/nul7999.txt", nul.replace(7999, 1, 1, '\0'));
    writeFile(dir / "p/nul8000.txt", nul.replace(7999, 2, "a\0", 2));
    writeFile(dir / "p/latin1\xE9.txt", "caf\xE9\n");
    writeFile(dir / "p/empty.txt", "");
    writeFile(dir / "p/edge.txt", std::string(Collect::sizeLimit, 'x'));
    writeFile(dir / "p/over.txt", std::string(Collect::sizeLimit + 1, 'x'));
    for (const auto& [target, link] : {std::pair{"../outside/s.txt", "p/link.txt"},
                                       {"../outside", "p/dirlink"},
                                       {".", "p/self"},
                                       {"loop-b", "loop-a"},
                                       {"loop-a", "loop-b"},
                                       {"nowhere", "dangling"}})
        fs::create_symlink(target, dir / link);
    // Siblings in byte order, depth first; links, hidden entries and tool folders passed over
    // (case-sensitively); a NUL counts only in the first 8,000 bytes; names in skipped lines
    // are made valid UTF-8.
    EXPECT_EQ(collect(dir.path(), "p"),
              "p/Build/f.txt:5 p/Makefile:5 p/caf\xE9.txt:5 p/edge.txt:1000000 p/empty.txt:0 "
              "p/nul8000.txt:9000 p/sub/deeper/y.txt:5 p/sub/z.txt:5 p/svg.txt:5 | "
              "latin1\uFFFD.txt — not text, nul7999.txt — not text, over.txt — too large,");
    // Given directly: in the order given, hidden or tool-named ones too, links read through
    // under their own name; missing ones and link loops are passed over.
    EXPECT_EQ(collect(dir.path(),
                      "outside/.env missing loop-a dangling p/link.txt p/sub node_modules "
                      "outside/.DS_Store p/over.txt p/sub/z.txt"),
              "outside/.env:5 p/link.txt:5 p/sub/deeper/y.txt:5 p/sub/z.txt:5 "
              "node_modules/x.js:5 p/sub/z.txt:5 | over.txt — too large,");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "p/sub/z.txt").c_str(), &st), 0);
    Collect::Options excluding;  // dropped silently wherever met
    excluding.excluded.push_back({st.st_dev, st.st_ino});
    EXPECT_EQ(collect(dir.path(), "p/sub p/sub/z.txt", excluding), "p/sub/deeper/y.txt:5 |");
}

TEST(CollectTest, PipesSocketsAndDevicesAreNotTextAndNeverOpened) {
    const auto makeThem = [](const fs::path& p) {
        ::mkfifo((p / "pipe").c_str(), 0644);
        ::mkfifo((p / "../fifo").c_str(), 0644);
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, (p / "sock").c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::close(fd);
    };
    EXPECT_EQ(collectFaulted(makeThem, nullptr, "p fifo /dev/null /dev/zero"),
              "p/a/first.txt:6 p/b.txt:2 p/c/inside.txt:7 | pipe — not text, sock — not text, "
              "fifo — not text, null — not text, zero — not text,");
}

TEST(CollectTest, LockedFolderIsPassedOverAndLockedFileIsNotTextForAnOrdinaryUser) {
    const auto lock = [](const fs::path& p) {
        fs::permissions(p / "b.txt", fs::perms::none);
        fs::permissions(p / "c", fs::perms::none);
    };
    EXPECT_EQ(collectFaulted(lock, nullptr, "p p/c p/b.txt", true),
              "p/a/first.txt:6 | b.txt — not text, c — not readable, b.txt — not text,");
}

TEST(CollectTest, FileThatVanishesOrGrowsAfterListingIsNotTextOrReadWholeAsWhenOpened) {
    EXPECT_EQ(collectFaulted(nullptr, [](const fs::path& p) { fs::remove(p / "b.txt"); }),
              "p/a/first.txt:6 p/c/inside.txt:7 | b.txt — not text,");
    const auto grow = [](const fs::path& p) { writeFile(p / "b.txt", std::string(300'000, 'g')); };
    EXPECT_EQ(collectFaulted(nullptr, grow), "p/a/first.txt:6 p/b.txt:300000 p/c/inside.txt:7 |");
}

TEST(CollectTest, RunningOutOfDescriptorsAsAFileIsOpenedFailsTheWholeCollection) {
    // No file is dropped as if it were not text. The sanitizers' runtime needs descriptors of
    // its own to report anything.
    if (TestSupport::addressSanitizer) GTEST_SKIP() << "the sanitizers need descriptors";
    const auto fileA = [](const fs::path& p) {
        fs::remove_all(p / "a");
        writeFile(p / "a", "a\n");
    };
    const auto exhaust = [](const fs::path&) {
        const rlimit few{32, 32};
        ::setrlimit(RLIMIT_NOFILE, &few);
        while (::dup(0) >= 0) {
        }
    };
    EXPECT_EQ(collectFaulted(fileA, exhaust), "failed: Too many open files");
}

TEST(CollectTest, FolderOrFileSwappedForALinkOrAFifoAfterListingIsNotFollowedAndDoesNotBlock) {
    const auto swapFolder = [](const fs::path& p) {
        fs::rename(p / "c", p / "../c-moved");
        fs::create_directory_symlink("../outside", p / "c");
    };
    EXPECT_EQ(collectFaulted(nullptr, swapFolder), "p/a/first.txt:6 p/b.txt:2 |");
    // Swapped while the walk is below it: it is not taken up again through the link.
    const auto nest = [](const fs::path& p) {
        fs::remove_all(p / "a");
        writeFile(p / "c/a/x.txt", "x\n");
        writeFile(p / "c/z/y.txt", "y\n");
        writeFile(p / "../outside/z/evil.txt", "evil\n");
    };
    EXPECT_EQ(collectFaulted(nest, swapFolder), "p/b.txt:2 p/c/a/x.txt:2 |");
    const auto swapFile = [](const fs::path& p) {
        fs::remove(p / "b.txt");
        fs::create_symlink("../outside/s.txt", p / "b.txt");
    };
    EXPECT_EQ(collectFaulted(nullptr, swapFile), "p/a/first.txt:6 p/c/inside.txt:7 |");
    const auto fifo = [](const fs::path& p) {
        fs::remove(p / "b.txt");
        ::mkfifo((p / "b.txt").c_str(), 0644);
    };
    EXPECT_EQ(collectFaulted(nullptr, fifo),
              "p/a/first.txt:6 p/c/inside.txt:7 | b.txt — not text, opened b.txt");
}

// Growth while a file is read cannot be staged through the walk, which takes the size from the
// open file just before reading: read with a size taken earlier instead.
TEST(CollectTest, ReadOfAFileThatGrewPastTheLimitStopsAtItAndIsTooLarge) {
    TempDir dir;
    for (const std::int64_t size : {3 * Collect::sizeLimit, Collect::sizeLimit}) {
        writeFile(dir / "f.txt", std::string(size, 'g'));
        const int fd = ::open((dir / "f.txt").c_str(), O_RDONLY);
        ByteArena arena;
        const ReadFile::Result r = ReadFile::bounded(fd, 10, Collect::sizeLimit, arena);
        EXPECT_LE(::lseek(fd, 0, SEEK_CUR), Collect::sizeLimit + 1);
        ::close(fd);
        EXPECT_EQ(r.data.size(), size > Collect::sizeLimit ? 0 : size);
        EXPECT_EQ(r.outcome == ReadFile::Outcome::tooLarge, size > Collect::sizeLimit);
    }
}

// Every outcome a file can have, repeated contents, and enough bytes that each reader goes
// through more than one block of memory: the workers must collect what one thread does, and
// its document must be what the bytes, measured afresh, make.
TEST(CollectTest, WorkerThreadsCollectAndPackExactlyWhatOneThreadDoes) {
    TempDir dir;
    for (int f = 0; f < 240; ++f) {
        const std::string body =
            f % 8 == 1   ? std::string("a\0b", 3)
            : f % 8 == 3 ? "caf\xE9"
            : f % 4 == 0 ? "repeated " + std::to_string(f % 5)
                         : std::string(f * 7919 % 12'000, 'x') +
                               "`a` ````b````\r\nnaïve 👨‍👩‍👧 e\u0301`\u0301`\n";
        writeFile(dir / "t" / std::to_string(f % 12) / (f % 3 ? "src" : "Lib") /
                      (std::to_string(f) + (f % 16 == 5 ? ".png" : ".txt")),
                  body);
    }
    // Large files, cheap to measure, read first in some folders: later copies may overtake them.
    for (int big = 0; big < 12; ++big)
        writeFile(dir / "t" / std::to_string(big / 3 * 3) / "Lib" / ("-" + std::to_string(big)),
                  std::string(999'000 - big, '`'));
    writeFile(dir / "t/0/huge.log", std::string(Collect::sizeLimit + 1, 'h'));
    ::mkfifo((dir / "t/1/pipe").c_str(), 0644);
    const std::vector<fs::path> inputs{dir / "t", dir / "t/2"};
    Collect::Options options;
    options.threads = 1;
    Collect::Collected serial = Collect::files(inputs, options);
    for (Collect::CollectedFile& file : serial.files)
        file.facts = {};  // measured afresh when packed
    const fs::path root = Pack::commonRoot(inputs);
    const PackResult expected = Pack::build(serial.files, root, serial.skipped);
    ASSERT_GT(expected.duplicates, 50);
    ASSERT_GT(expected.skipped.size(), 50u);
    for (const auto& [threads, dropRepeatedBytes] :
         {std::pair{1u, true}, {0u, false}, {3u, true}}) {
        options.threads = threads;
        options.dropRepeatedBytes = dropRepeatedBytes;
        const Collect::Collected c = Collect::files(inputs, options);
        const PackResult r = Pack::build(c.files, root, c.skipped);
        EXPECT_TRUE(r.markdown == expected.markdown) << threads << " " << dropRepeatedBytes;
        EXPECT_EQ(r.tokenEstimate, expected.tokenEstimate);
        EXPECT_EQ(r.skipped, expected.skipped);
    }
}

#if defined(__SANITIZE_ADDRESS__)
// Seen only below the interface: only files' bytes are readable in the blocks they are read
// into, so AddressSanitizer catches a read past a file's end.
TEST(CollectTest, OnlyTheBytesOfFilesAreReadableInTheArena) {
    ByteArena arena;
    char* at = arena.room(16).data();
    EXPECT_EQ(__asan_region_is_poisoned(at, 17), at + 16);
    const Bytes file = arena.keep(5);
    EXPECT_EQ(__asan_region_is_poisoned(at, 17), at + 5);  // not the room's unkept rest
    arena.room(7);
    Bytes repeat = arena.keep(7);
    arena.giveBack(repeat);  // as nobody else holds it
    EXPECT_EQ(__asan_region_is_poisoned(at, 17), at + 5);
}
#endif
