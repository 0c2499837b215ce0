#include "update_fixtures.h"

#include <archive.h>
#include <archive_entry.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "test_support.h"

namespace tessaly::UpdateFixtures {

namespace fs = std::filesystem;
using TestSupport::writeFile;

void makeBundle(const fs::path& bundle, const std::string& version, const fs::path& note) {
    writeFile(bundle / "bin/tessaly",
              "#!/bin/sh\necho " + version + " >> '" + note.string() + "'\n");
    fs::permissions(bundle / "bin/tessaly", fs::perms(0755));
    writeFile(bundle / "share/version.txt", version);
    writeFile(bundle / "share/doc/README", "Read me.\n");
    fs::create_directories(bundle / "share/empty");
    fs::create_symlink("../bin/tessaly", bundle / "share/alias");
}

void writeZip(const fs::path& zip, const std::vector<ZipEntry>& entries) {
    const std::unique_ptr<archive, int (*)(archive*)> out(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(out.get());
    bool ok = archive_write_open_filename(out.get(), zip.c_str()) == ARCHIVE_OK;
    for (const ZipEntry& e : entries) {
        const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                             archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.name.c_str());
        archive_entry_set_filetype(entry.get(), e.type ? e.type : S_IFREG);
        archive_entry_set_perm(entry.get(), e.mode);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        if (e.type == S_IFLNK)
            archive_entry_set_symlink(entry.get(), e.data.c_str());
        else
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(e.data.size()));
        ok =
            ok && archive_write_header(out.get(), entry.get()) == ARCHIVE_OK &&
            (e.type == S_IFLNK || archive_write_data(out.get(), e.data.data(), e.data.size()) >= 0);
    }
    if (!ok || archive_write_close(out.get()) != ARCHIVE_OK)
        throw std::runtime_error("zip " + zip.string() + ": " + archive_error_string(out.get()));
}

void zipFolder(const fs::path& folder, const fs::path& zip) {
    std::vector<ZipEntry> entries{{folder.filename().string() + "/", "", S_IFDIR, 0755}};
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string name = folder.filename() / item.path().lexically_relative(folder);
        const auto mode = static_cast<mode_t>(item.symlink_status().permissions());
        if (item.is_symlink())
            entries.push_back({name, fs::read_symlink(item), S_IFLNK, 0777});
        else if (item.is_directory())
            entries.push_back({name + "/", "", S_IFDIR, mode});
        else
            entries.push_back({name, TestSupport::readFile(item), S_IFREG, mode});
    }
    writeZip(zip, entries);
}

pid_t endedProcess() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

bool dropRoot() {
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0);
}

std::string linesWhenWritten(const fs::path& file) {
    for (int i = 0; i < 1000; ++i) {  // the shell makes the file before it writes the line
        if (std::string lines = TestSupport::readFile(file); lines.ends_with('\n')) return lines;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "(not written)";
}

}  // namespace tessaly::UpdateFixtures
