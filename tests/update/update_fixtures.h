#pragma once
// Bundles and zip archives made by the update tests.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct archive;

namespace tessaly {

namespace UpdateFixtures {

// A small bundle: bin/tessaly (executable), share/doc/README, lib/nested/deep/data.bin, the
// empty folder share/empty, and share/alias -> ../bin/tessaly.
void makeBundle(const std::filesystem::path& bundle);

// Writes a zip archive entry by entry, names exactly as given.
class ZipWriter {
  public:
    explicit ZipWriter(const std::filesystem::path& zip);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    ZipWriter& file(const std::string& name, std::string_view bytes, mode_t mode = 0644);
    ZipWriter& folder(const std::string& name, mode_t mode = 0755);
    ZipWriter& link(const std::string& name, const std::string& target);
    void close();

  private:
    struct Free {
        void operator()(archive* a) const noexcept;
    };
    std::unique_ptr<archive, Free> archive_;
};

// A zip of `folder` and everything below it, named from the folder's own name, links as links.
void zipFolder(const std::filesystem::path& folder, const std::filesystem::path& zip);
// Several folders side by side at the archive's top, in the order given.
void zipFolders(const std::vector<std::filesystem::path>& folders,
                const std::filesystem::path& zip);

// Starts a program with the environment of the tests; its id, not waited for.
pid_t spawn(std::vector<std::string> args);
// A process id that no longer runs, for a swap that need not wait.
pid_t endedProcess();

// What a process started in the background wrote to `file`, waiting up to ten seconds for
// it: the shell creates the file before it writes the line, so an empty file means not yet.
// "(not written)" when nothing came.
std::string lineWhenWritten(const std::filesystem::path& file);

}  // namespace UpdateFixtures

}  // namespace tessaly
