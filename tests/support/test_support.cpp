#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tessaly {

namespace fs = std::filesystem;

namespace TestSupport {

TempDir::TempDir() {
    char templ[] = "/tmp/tessaly-test-XXXXXX";
    if (!mkdtemp(templ)) throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
    chmod(templ, 0755);
    path_ = templ;
}

TempDir::~TempDir() {
    removeTree(path_);
}

void writeFile(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> listNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

void removeAt(int parentFd, const char* name) {
    struct stat st {};
    if (fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        unlinkat(parentFd, name, 0);
        return;
    }
    fchmodat(parentFd, name, 0700, 0);  // tests lock folders; give them back first
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* dir = fdopendir(fd)) {
            std::vector<std::string> names;
            while (dirent* e = readdir(dir)) {
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    names.emplace_back(e->d_name);
            }
            for (const auto& n : names)
                removeAt(dirfd(dir), n.c_str());
            closedir(dir);
        } else {
            close(fd);
        }
    }
    unlinkat(parentFd, name, AT_REMOVEDIR);
}

// Reads both descriptors until EOF or the deadline; false when the deadline passed.
bool drain(int fdA, std::string& a, int fdB, std::string* b,
           std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2] = {{fdA, POLLIN, 0}, {fdB, POLLIN, 0}};
    std::string* sinks[2] = {&a, b};
    int open = b ? 2 : 1;
    if (!b) fds[1].fd = -1;
    char buf[65536];
    while (open > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        int n = poll(fds, 2, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                sinks[i]->append(buf, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

int reap(pid_t pid, bool kill) {
    if (kill) ::kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && !kill ? WEXITSTATUS(status) : -1;
}

}  // namespace

testing::AssertionResult contains(const char* haystackExpr, const char* needleExpr,
                                  std::string_view haystack, std::string_view needle) {
    if (haystack.find(needle) != std::string_view::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << haystackExpr << " does not contain " << needleExpr << "\n  looked for: \"" << needle
           << "\"\n  in: \"" << haystack << "\"";
}

void removeTree(const fs::path& path) {
    removeAt(AT_FDCWD, path.c_str());
}

bool isStrictUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80           ? 1
                     : (c >> 5) == 0x6  ? 2
                     : (c >> 4) == 0xE  ? 3
                     : (c >> 3) == 0x1E ? 4
                                        : 0;
        if (len == 0 || i + len > s.size()) return false;
        char32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

ChildResult runInChild(const std::function<std::string()>& body, std::chrono::seconds timeout) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string out = body();
        for (size_t done = 0; done < out.size();) {
            ssize_t n = write(pipeFds[1], out.data() + done, out.size() - done);
            if (n <= 0) _exit(3);
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(pipeFds[1]);
    ChildResult result;
    bool done =
        drain(pipeFds[0], result.output, -1, nullptr, std::chrono::steady_clock::now() + timeout);
    close(pipeFds[0]);
    result.exitCode = reap(pid, !done);
    result.finished = done;
    return result;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return {};
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        int in = open("/dev/null", O_RDONLY);
        int out = options.stdoutFile
                      ? open(options.stdoutFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                      : outPipe[1];
        if (in < 0 || out < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(errPipe[1], 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult result;
    bool done = drain(outPipe[0], result.out, errPipe[0], &result.err,
                      std::chrono::steady_clock::now() + std::chrono::seconds(20));
    close(outPipe[0]);
    close(errPipe[0]);
    result.exitCode = reap(pid, !done);
    return result;
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace TestSupport

}  // namespace tessaly
