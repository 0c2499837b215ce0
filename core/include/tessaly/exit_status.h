#pragma once

namespace tessaly {

// How the command-line tools end, as scripts read it.
enum class ExitStatus : int {
    success = 0,
    failure = 1,  // the work could not be done; the message says why
    usage = 2,    // the command line was wrong; nothing was done
};

}  // namespace tessaly
