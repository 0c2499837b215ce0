#pragma once
// Bundles, zip archives and processes made by the update tests.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly::UpdateFixtures {

// A small bundle of `version`: bin/tessaly (executable; run, it appends the version to
// `note`), share/version.txt, share/doc/README, the empty folder share/empty and the link
// share/alias -> ../bin/tessaly.
void makeBundle(const std::filesystem::path& bundle, const std::string& version = "1.0",
                const std::filesystem::path& note = "/dev/null");

struct ZipEntry {
    std::string name;  // exactly as stored
    std::string data;  // a file's bytes, a link's target
    mode_t type = 0;   // S_IFREG (0 too), S_IFDIR or S_IFLNK
    mode_t mode = 0644;
};
void writeZip(const std::filesystem::path& zip, const std::vector<ZipEntry>& entries);
// A zip of the folders and everything below them, side by side at the top, links as links.
void zipFolders(const std::vector<std::filesystem::path>& folders,
                const std::filesystem::path& zip);

// The id of a process that has ended, for a swap that need not wait.
pid_t endedProcess();
// In a child: gives up root for uid and gid 65534, since root ignores permission bits.
bool dropRoot();
// What programs started in the background wrote to `file`, once it ends a line (within ten
// seconds); "(not written)" when nothing came.
std::string linesWhenWritten(const std::filesystem::path& file);

}  // namespace tessaly::UpdateFixtures
