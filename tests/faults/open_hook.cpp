#include "open_hook.h"

#include <fcntl.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

namespace tessaly {

namespace {

std::mutex mutex;
std::string trigger;
std::function<void()> pending;
bool done = false;

void runHook(const char* path) {
    std::function<void()> action;
    {
        std::lock_guard lock(mutex);
        const char* slash = std::strrchr(path, '/');
        const char* name = slash ? slash + 1 : path;
        if (!pending || trigger != name) return;
        action = std::move(pending);
        pending = nullptr;
    }
    action();
    std::lock_guard lock(mutex);
    done = true;
}

}  // namespace

namespace OpenHook {

void before(std::string name, std::function<void()> action) {
    std::lock_guard lock(mutex);
    trigger = std::move(name);
    pending = std::move(action);
    done = false;
}

bool ran() {
    std::lock_guard lock(mutex);
    return done;
}

void clear() {
    std::lock_guard lock(mutex);
    pending = nullptr;
    trigger.clear();
}

}  // namespace OpenHook

extern "C" int __real_openat(int dirfd, const char* path, int flags, ...);

extern "C" int __wrap_openat(int dirfd, const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    runHook(path);
    return __real_openat(dirfd, path, flags, mode);
}

}  // namespace tessaly
