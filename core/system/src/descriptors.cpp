#include "tessaly/system/descriptors.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "tessaly/system/dir_stream.h"

namespace tessaly::System {
namespace {

// Well below PATH_MAX, so that any name of up to 255 bytes still fits after a cut.
constexpr std::size_t maxPathPiece = 2048;

std::atomic<bool> noOpenat2{false};  // an older kernel: links are refused at the end only

int openPiece(int anchor, const std::string& piece, int flags) noexcept {
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        const long fd = ::syscall(SYS_openat2, anchor, piece.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
        noOpenat2.store(true, std::memory_order_relaxed);
    }
    return ::openat(anchor, piece.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

void raiseDescriptorLimit() noexcept {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::size_t freeDescriptors() noexcept {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    std::size_t open = 0;
    if (const DirStream fds{::opendir("/proc/self/fd")}) {
        while (const dirent* entry = ::readdir(fds.get()))
            if (entry->d_name[0] != '.') ++open;
    }
    const rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? 1 << 20 : limit.rlim_cur;
    return open >= soft ? 0 : static_cast<std::size_t>(soft - open);
}

bool isExhaustion(int error) noexcept {
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

UniqueFd openBeneath(int anchor, std::string_view rel, int flags) noexcept {
    try {
        if (rel.empty()) rel = ".";
        UniqueFd held;  // the piece opened last, when the path was too long for one call
        while (rel.size() > maxPathPiece) {
            const std::size_t cut = rel.rfind('/', maxPathPiece);
            if (cut == std::string_view::npos || cut == 0) {
                errno = ENAMETOOLONG;
                return UniqueFd();
            }
            UniqueFd next(openPiece(anchor, std::string(rel.substr(0, cut)), O_PATH | O_DIRECTORY));
            if (!next) return next;
            held = std::move(next);
            anchor = held.get();
            rel.remove_prefix(cut + 1);
        }
        return UniqueFd(openPiece(anchor, std::string(rel), flags));
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return UniqueFd();
    }
}

}  // namespace tessaly::System
