#include "tessaly/swap_script.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include <vector>
#include "tessaly/system/system_error.h"

extern char** environ;

namespace tessaly {

namespace SwapScript {

std::string text(pid_t pid) {
    // `moved` marks that $2 went to the backup, so a copy that fails half-way is removed and
    // the backup restored; a backup left by an earlier run is never taken for the current app.
    return "#!/bin/sh\n"
           "while kill -0 " +
           std::to_string(pid) +
           " 2>/dev/null; do sleep 0.2; done\n"
           "moved=\n"
           "if rm -rf \"$2.bak\" && mv \"$2\" \"$2.bak\" 2>/dev/null && moved=1 && cp -a \"$1\" "
           "\"$2\" 2>/dev/null; then\n"
           "  rm -rf \"$2.bak\"\n"
           "else\n"
           "  [ -n \"$moved\" ] && rm -rf \"$2\"\n"
           "  [ -d \"$2.bak\" ] && [ ! -d \"$2\" ] && mv \"$2.bak\" \"$2\"\n"
           "fi\n"
           "setsid \"$2/bin/tessaly\" </dev/null >/dev/null 2>&1 &";
}

namespace {

class SpawnActions {
  public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

void start(const std::filesystem::path& script, const std::filesystem::path& newBundle,
           const std::filesystem::path& dest) {
    // A shell that starts the script in a session of its own and returns at once: the script
    // is then nobody's child here, survives the quit, and leaves no zombie behind.
    const std::string launcher = "setsid /bin/sh \"$0\" \"$1\" \"$2\" </dev/null >/dev/null 2>&1 &";
    std::vector<std::string> args{"/bin/sh",          "-c",         launcher, script.string(),
                                  newBundle.string(), dest.string()};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    if (const int error =
            ::posix_spawn(&child, "/bin/sh", actions.get(), nullptr, argv.data(), environ))
        System::throwSystem("posix_spawn", "/bin/sh", error);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) System::throwSystem("waitpid", "/bin/sh");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::system_error(ECHILD, std::generic_category(),
                                "/bin/sh " + script.string() + ": could not start");
}

}  // namespace SwapScript

}  // namespace tessaly
