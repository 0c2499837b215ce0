#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tessaly::TestSupport {
namespace {

namespace fs = std::filesystem;

std::string readAll(int fd) {  // a file in memory that a child wrote
    const std::string all = readFile("/proc/self/fd/" + std::to_string(fd));
    close(fd);
    return all;
}

// Waits for the child to end on its own within `timeout`, else kills it; its exit code, or -1.
int reap(pid_t pid, std::chrono::milliseconds timeout, bool& finished) {
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd ended{pidFd, POLLIN, 0};
    finished = pidFd >= 0 && poll(&ended, 1, static_cast<int>(timeout.count())) == 1;
    if (!finished) kill(pid, SIGKILL);
    close(pidFd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
        continue;
    return finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

testing::AssertionResult contains(const char* haystackExpr, const char* needleExpr,
                                  std::string_view haystack, std::string_view needle) {
    if (haystack.find(needle) != std::string_view::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << haystackExpr << " does not contain " << needleExpr
                                       << ":\n  " << needle << "\nin:\n  " << haystack;
}

TempDir::TempDir() {
    char name[] = "/tmp/tessaly-test-XXXXXX";
    if (!mkdtemp(name)) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    chmod(name, 0755);
    path_ = name;
}

TempDir::~TempDir() {
    std::error_code ec;  // tests lock folders: open them up first
    for (fs::recursive_directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec))
        if (!it->is_symlink(ec) && it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void writeFile(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot write " + file.string());
}

std::string readFile(const fs::path& file) {
    return (std::ostringstream() << std::ifstream(file, std::ios::binary).rdbuf()).str();
}

std::vector<std::string> listNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

ChildResult runInChild(const std::function<std::string()>& body, std::chrono::seconds timeout) {
    const int out = memfd_create("output", MFD_CLOEXEC);  // nothing to drain while it runs
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string output = body();
        _exit(write(out, output.data(), output.size()) == ssize_t(output.size()) ? 0 : 3);
    }
    ChildResult result;
    result.exitCode = reap(pid, timeout, result.finished);
    result.output = readAll(out);
    return result;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const RunOptions& options) {
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv(storage.size() + 1, nullptr);
    std::transform(storage.begin(), storage.end(), argv.begin(), [](auto& s) { return s.data(); });
    const int out = memfd_create("out", MFD_CLOEXEC), err = memfd_create("err", MFD_CLOEXEC);
    const ChildResult child = runInChild(
        [&]() -> std::string {
            if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
            const int stdOut = options.stdoutFile ? open(options.stdoutFile->c_str(),
                                                         O_WRONLY | O_CREAT | O_TRUNC, 0644)
                                                  : out;
            const int in = open("/dev/null", O_RDONLY);
            if (dup2(in, 0) == 0 && dup2(stdOut, 1) == 1 && dup2(err, 2) == 2)
                execv(program.c_str(), argv.data());
            _exit(127);
        },
        std::chrono::seconds(20));
    return {child.exitCode, readAll(out), readAll(err)};
}

std::size_t residentBytes() {
    std::size_t pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace tessaly::TestSupport
