#pragma once
// Replaces the running application bundle with the one an update names: checks that the
// bundle can be replaced in place, downloads the archive, unpacks it, verifies the bundle's
// signature, and starts the script that swaps it in once this process has ended.
//
// Errors in the installer library: its own refusals and failures throw UpdateFailure with an
// UpdateError; the transport's throw TransportError and the file system's std::system_error
// (operation, object and reason), passed on unchanged.

#include <sys/types.h>

#include <filesystem>
#include <stop_token>

#include "tessaly/http_session.h"
#include "tessaly/trust.h"
#include "tessaly/update_info.h"

namespace tessaly {

namespace SelfUpdater {

// What an installation works on. `current()` describes the running program; tests make
// their own.
struct Installation {
    // The bundle to replace; empty when the program does not run from one.
    std::filesystem::path dest;
    // Private folder for the work folder and the script; empty means PrivateFolder::path().
    std::filesystem::path workRoot;
    const HttpSession* session = nullptr;
    Update::Trust trust;
    // The process the swap waits for.
    pid_t pid = 0;
};

Installation current();

// Returns once the swap script runs; the caller must then end the process, which the script
// waits for. Throws UpdateFailure for the installer's own refusals and failures, and passes
// transport (TransportError) and file-system (std::system_error) errors on unchanged. The
// running application is untouched in every failure.
void install(const UpdateInfo& update, const Installation& where, std::stop_token stop = {});

// Throws UpdateFailure(badSignature) unless the bundle is signed by the trusted key and team
// and matches its signed list exactly; returns the signed version.
std::string verifySignature(const std::filesystem::path& bundle, const Update::Trust& trust);

}  // namespace SelfUpdater

}  // namespace tessaly
