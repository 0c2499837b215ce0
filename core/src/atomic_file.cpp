#include "tessaly/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "unique_fd.h"

namespace tessaly {

namespace AtomicFile {
namespace {

namespace fs = std::filesystem;

std::string failure(std::string_view operation, const fs::path& object, int error) {
    return std::string(operation) + "(" + object.string() + "): " + std::strerror(error);
}

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

// The mode a plain create would give, or the replaced file's own.
mode_t modeFor(const fs::path& destination) {
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0) return st.st_mode & 07777;
    return 0666 & ~currentUmask();
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::optional<std::string> write(const fs::path& destination, std::string_view contents) {
    const fs::path target = resolvedDestination(destination);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) return failure("open", target, errno);

    const auto fail = [&](std::string_view operation) {
        const int error = errno;
        fd.reset();
        ::unlink(temp.c_str());
        return failure(operation, target, error);
    };
    if (::fchmod(fd.get(), modeFor(target)) != 0) return fail("chmod");
    if (!writeAll(fd.get(), contents)) return fail("write");
    if (::fsync(fd.get()) != 0) return fail("fsync");
    if (::close(fd.release()) != 0) return fail("close");
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail("rename");
    return std::nullopt;
}

}  // namespace AtomicFile

}  // namespace tessaly
