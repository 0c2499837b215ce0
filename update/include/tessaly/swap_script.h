#pragma once
// The script that swaps a new bundle in once the application has ended, and reopens it.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace tessaly {

namespace SwapScript {

// The script's text: waits for `pid` to end, moves $2 aside, copies $1 to $2, and on any
// failure puts the old bundle back; then starts $2/bin/tessaly.
std::string text(pid_t pid);

// Runs `script` with /bin/sh, with the new bundle as $1 and the installed one as $2, detached
// from this process so that it outlives it. Does not wait for the script. Throws
// std::system_error when the shell cannot be started.
void start(const std::filesystem::path& script, const std::filesystem::path& newBundle,
           const std::filesystem::path& dest);

}  // namespace SwapScript

}  // namespace tessaly
