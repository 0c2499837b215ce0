#include "tessaly/self_updater.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <vector>

#include "tessaly/atomic_file.h"
#include "tessaly/bundle_signature.h"
#include "tessaly/private_folder.h"
#include "tessaly/swap_script.h"
#include "tessaly/system/system_error.h"
#include "tessaly/unpack_zip.h"
#include "tessaly/update_error.h"

namespace tessaly {

namespace fs = std::filesystem;

namespace SelfUpdater {

namespace {

// A read-only volume (a mounted image, say) cannot take the new bundle. When the volume
// cannot be asked, it is taken as writable and the later steps find out.
bool onReadOnlyVolume(const fs::path& dest) {
    struct statvfs volume {};
    if (::statvfs(dest.c_str(), &volume) != 0) return false;
    return (volume.f_flag & ST_RDONLY) != 0;
}

// Refused before anything is downloaded or written: no bundle to replace (a package
// manager's install under /usr, say), a translocated or read-only one, or a folder the
// user may not write.
void requireReplaceable(const fs::path& dest) {
    if (dest.empty())
        throw UpdateFailure(UpdateError::readOnlyLocation, "not running from an .app bundle");
    if (dest.string().find("/AppTranslocation/") != std::string::npos || onReadOnlyVolume(dest))
        throw UpdateFailure(UpdateError::readOnlyLocation, dest.string() + ": read-only");
    if (::access(dest.parent_path().c_str(), W_OK) != 0)
        throw UpdateFailure(UpdateError::readOnlyLocation,
                            dest.parent_path().string() + ": not writable");
}

void requireNotStopped(const std::stop_token& stop) {
    if (stop.stop_requested())
        throw std::system_error(ECANCELED, std::generic_category(), "update");
}

// A stale folder that cannot be removed is an error: what it holds is not ours to reuse.
fs::path freshWorkFolder(const fs::path& folder) {
    std::error_code error;
    fs::remove_all(folder, error);
    if (error) throw System::systemError("remove", folder.native(), error.value());
    if (!fs::create_directories(folder))
        throw System::systemError("mkdir", folder.native(), EEXIST);
    fs::permissions(folder, fs::perms::owner_all);
    return folder;
}

// The first top-level entry named *.app, in byte order of the names so that the choice does
// not depend on the file system's listing order.
fs::path findBundle(const fs::path& unpacked) {
    std::vector<fs::path> bundles;
    for (const fs::directory_entry& entry : fs::directory_iterator(unpacked))
        if (entry.path().extension() == ".app") bundles.push_back(entry.path());
    if (bundles.empty())
        throw UpdateFailure(UpdateError::notFound,
                            unpacked.string() + ": no .app at the top level");
    return *std::min_element(bundles.begin(), bundles.end());
}

void launchSwap(const fs::path& newApp, const fs::path& dest, const fs::path& script, pid_t pid) {
    AtomicFile::write(script, SwapScript::text(pid));
    SwapScript::start(script, newApp, dest);
}

// The bundle a program at `program` belongs to: FOLDER.app when the program is
// FOLDER.app/bin/tessaly, else the empty path.
fs::path bundleOf(const fs::path& program) {
    const fs::path bin = program.parent_path();
    const fs::path bundle = bin.parent_path();
    if (program.filename() != "tessaly" || bin.filename() != "bin" ||
        bundle.extension() != ".app" || bundle.stem().empty())
        return fs::path();
    return bundle;
}

}  // namespace

Installation current() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return Installation{error ? fs::path() : bundleOf(program), fs::path(), &HttpSession::shared(),
                        Update::builtTrust(), ::getpid()};
}

void install(const UpdateInfo& update, const Installation& where, std::stop_token stop) {
    requireReplaceable(where.dest);

    const fs::path root = where.workRoot.empty() ? PrivateFolder::path() : where.workRoot;
    const std::string name = "orvane-update-" + std::to_string(where.pid);
    const fs::path work = freshWorkFolder(root / name);

    const fs::path archive = work / "update.zip";
    const fs::path partial = work / "update.zip.part";
    long status = 0;
    try {
        status = where.session->download(update.downloadURL, partial, stop);
    } catch (const TooLargeError& error) {
        // Far beyond any release: what was sent is wrong, not the connection.
        throw UpdateFailure(UpdateError::download, error.what());
    }
    if (status != 200)
        throw UpdateFailure(UpdateError::download, "GET " + update.downloadURL + ": HTTP status " +
                                                       std::to_string(status));
    fs::rename(partial, archive);
    requireNotStopped(stop);

    const fs::path unpacked = work / "unpacked";
    Update::unpackZip(archive, unpacked);
    requireNotStopped(stop);

    const fs::path bundle = findBundle(unpacked);
    const std::string signedVersion = verifySignature(bundle, where.trust);
    // An older release, validly signed, must not pass for the version on offer.
    if (signedVersion != update.version)
        throw UpdateFailure(UpdateError::badSignature, bundle.string() + ": signed as version " +
                                                           signedVersion + ", offered " +
                                                           update.version);
    requireNotStopped(stop);

    launchSwap(bundle, where.dest, root / (name + ".sh"), where.pid);
}

std::string verifySignature(const fs::path& bundle, const Update::Trust& trust) {
    try {
        return Update::verifyBundle(bundle, trust);
    } catch (const std::system_error& error) {
        // A bundle that cannot even be read is not one this program can trust.
        throw UpdateFailure(UpdateError::badSignature, error.what());
    }
}

}  // namespace SelfUpdater

}  // namespace tessaly
