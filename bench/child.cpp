#include "child.h"

#include "tessaly/system/system_error.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tessaly {

namespace Child {

using System::errorText;

UniqueFd openNull() {
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(errorText("open", "/dev/null"));
    return UniqueFd(fd);
}

UniqueFd captureFile(const char* name) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) throw std::runtime_error(errorText("memfd_create", name));
    return UniqueFd(fd);
}

std::string readAll(int fd) {
    std::string bytes;
    char block[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, block, sizeof block, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::runtime_error(errorText("read", "captured output"));
        if (got == 0) return bytes;
        bytes.append(block, static_cast<std::size_t>(got));
        offset += got;
    }
}

std::int64_t sizeOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw std::runtime_error(errorText("fstat", "captured output"));
    return info.st_size;
}

namespace {

// Between fork and exec the child is a copy of this single-threaded driver, so writing the
// reason out with stdio is safe; 127 is the shell's "could not run".
[[noreturn]] void childFailed(const char* op, const char* object) {
    std::fprintf(stderr, "%s\n", errorText(op, object).c_str());
    std::fflush(stderr);
    ::_exit(127);
}

void redirect(int from, int to) {
    if (from >= 0 && ::dup2(from, to) < 0) childFailed("dup2", "standard stream");
}

[[noreturn]] void execChild(char* const* args, const char* workDir, Io io) {
    redirect(io.in, STDIN_FILENO);
    redirect(io.out, STDOUT_FILENO);
    redirect(io.err, STDERR_FILENO);
    if (::chdir(workDir) != 0) childFailed("chdir", workDir);
    ::execvp(args[0], args);
    childFailed("exec", args[0]);
}

}  // namespace

Figures run(const std::vector<std::string>& argv, const std::filesystem::path& workDir, Io io) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const std::string dir = workDir.string();

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(errorText("fork", argv.front()));
    if (pid == 0) execChild(args.data(), dir.c_str(), io);

    Figures figures;
    struct rusage usage {};
    while (::wait4(pid, &figures.status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error(errorText("wait4", argv.front()));
    }
    const auto end = std::chrono::steady_clock::now();
    figures.seconds = std::chrono::duration<double>(end - start).count();
    // The kernel keeps the larger of the forked copy's resident size and the new program's
    // peak, so the driver's own few MiB only show when the child stays below them.
    figures.peakBytes = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
    return figures;
}

std::string failure(int status) {
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) == 0) return {};
        return "exit status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "stopped with wait status " + std::to_string(status);
}

}  // namespace Child

}  // namespace tessaly
