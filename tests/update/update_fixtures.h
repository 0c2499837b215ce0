#pragma once
// Bundles, zip archives and processes made by the update tests.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly::UpdateFixtures {

// A bundle of `version`: bin/tessaly, which appends the version to `note` when run,
// share/version.txt, share/doc/README, the empty folder share/empty, share/alias -> ../bin/tessaly.
void makeBundle(const std::filesystem::path& bundle, const std::string& version = "1.0",
                const std::filesystem::path& note = "/dev/null");

struct ZipEntry {
    std::string name, data;        // the name exactly as stored; a file's bytes, a link's target
    mode_t type = 0, mode = 0644;  // S_IFDIR, S_IFLNK, else a file
};
void writeZip(const std::filesystem::path& zip, const std::vector<ZipEntry>& entries);
// `folder` and everything below it, named from its own name, links as links.
void zipFolder(const std::filesystem::path& folder, const std::filesystem::path& zip);

pid_t endedProcess();  // for a swap that need not wait
bool dropRoot();       // in a child: uid and gid 65534, since root ignores permission bits
// What programs in the background wrote to `file`, once it ends a line (within ten seconds).
std::string linesWhenWritten(const std::filesystem::path& file);

}  // namespace tessaly::UpdateFixtures
