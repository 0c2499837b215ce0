#include "tessaly/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <mutex>

#include "tessaly/system/io.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"

namespace tessaly {

namespace AtomicFile {
namespace {

namespace fs = std::filesystem;

// A link is written through, so the file it names is what gets replaced.
fs::path resolvedDestination(const fs::path& destination) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(destination, ec))) {
        const fs::path target = fs::canonical(destination, ec);
        if (!ec) return target;
    }
    return destination;
}

// Read rather than set-and-restore, which would race with other threads creating files.
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("Umask:"))
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

// The replaced file's mode, owner and group go to its successor: the owner must not be locked
// out of a file that root, say, wrote again.
void takeOver(int fd, const struct stat* replaced) {
    if (!replaced) {
        ::fchmod(fd, 0666 & ~currentUmask());
        return;
    }
    if (::fchown(fd, replaced->st_uid, replaced->st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), replaced->st_gid);  // not root: the group only
    ::fchmod(fd, replaced->st_mode & 07777);
}

// The temporary file being written, removed should the process be told to end meanwhile.
class TemporaryGuard {
  public:
    explicit TemporaryGuard(const std::string& path) {
        lock_ = std::unique_lock(mutex_);
        pending_.store(path.c_str());
        for (std::size_t i = 0; i < signals_.size(); ++i) {
            struct sigaction action {};
            action.sa_handler = &removeAndResend;
            sigemptyset(&action.sa_mask);
            ::sigaction(signals_[i], &action, &previous_[i]);
        }
    }
    ~TemporaryGuard() {
        for (std::size_t i = 0; i < signals_.size(); ++i)
            ::sigaction(signals_[i], &previous_[i], nullptr);
        pending_.store(nullptr);
    }
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;

  private:
    // Only async-signal-safe calls: unlink, sigaction, raise.
    static void removeAndResend(int signal) {
        if (const char* path = pending_.exchange(nullptr)) ::unlink(path);
        for (std::size_t i = 0; i < signals_.size(); ++i)
            if (signals_[i] == signal) ::sigaction(signal, &previous_[i], nullptr);
        ::raise(signal);
    }

    static constexpr std::array<int, 3> signals_{SIGINT, SIGTERM, SIGHUP};
    static inline std::mutex mutex_;  // one write at a time owns the handlers
    static inline std::atomic<const char*> pending_{nullptr};
    static inline std::array<struct sigaction, 3> previous_{};
    std::unique_lock<std::mutex> lock_;
};

// Not a regular file (a device, a fifo): written into, as a shell redirection would, since
// replacing it would put a plain file where the node was.
void writeInto(const fs::path& target, std::string_view contents) {
    System::UniqueFd fd(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd) System::throwSystem("open", target.native());
    if (!System::writeAll(fd.get(), contents)) System::throwSystem("write", target.native());
    if (::close(fd.release()) != 0 && errno != EINTR) System::throwSystem("close", target.native());
}

void replace(const fs::path& target, const struct stat* replaced, std::string_view contents) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // Short whatever the destination's name, so that any name that fits a folder fits here.
    std::string temp = (folder / ".tessaly-XXXXXX").string();
    const TemporaryGuard guard(temp);
    System::UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) System::throwSystem("open", target.native());

    const auto fail = [&](std::string_view operation) {
        const int error = errno;
        fd.reset();
        ::unlink(temp.c_str());
        System::throwSystem(operation, target.native(), error);
    };
    takeOver(fd.get(), replaced);
    if (!System::writeAll(fd.get(), contents)) fail("write");
    if (::fsync(fd.get()) != 0) fail("fsync");
    if (::close(fd.release()) != 0) fail("close");
    if (::rename(temp.c_str(), target.c_str()) != 0) fail("rename");
}

}  // namespace

void write(const fs::path& destination, std::string_view contents) {
    const fs::path target = resolvedDestination(destination);
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return replace(target, nullptr, contents);
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return writeInto(target, contents);
    replace(target, &st, contents);
}

}  // namespace AtomicFile

}  // namespace tessaly
