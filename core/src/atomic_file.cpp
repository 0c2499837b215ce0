#include "tessaly/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

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

// The mode a plain create would give, or the replaced file's own.
mode_t modeFor(const fs::path& destination) {
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0) return st.st_mode & 07777;
    return 0666 & ~currentUmask();
}

}  // namespace

void write(const fs::path& destination, std::string_view contents) {
    const fs::path target = resolvedDestination(destination);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    System::UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) System::throwSystem("open", target.native());

    const auto fail = [&](std::string_view operation) {
        const int error = errno;
        fd.reset();
        ::unlink(temp.c_str());
        System::throwSystem(operation, target.native(), error);
    };
    if (::fchmod(fd.get(), modeFor(target)) != 0) fail("chmod");
    if (!System::writeAll(fd.get(), contents)) fail("write");
    if (::fsync(fd.get()) != 0) fail("fsync");
    if (::close(fd.release()) != 0) fail("close");
    if (::rename(temp.c_str(), target.c_str()) != 0) fail("rename");
}

}  // namespace AtomicFile

}  // namespace tessaly
