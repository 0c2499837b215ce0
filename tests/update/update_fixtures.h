#pragma once
// Bundles and zip archives made by the update tests.

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <memory>
#include <stdexcept>

#include "test_support.h"

namespace tessaly::UpdateFixtures {

namespace fs = std::filesystem;

// A bundle of `version`: bin/tessaly, which appends the version to `note` when run,
// share/version.txt, share/doc/README, the empty folder share/empty, share/alias -> ../bin/tessaly.
inline void makeBundle(const fs::path& bundle, const std::string& version = "1.0",
                       const fs::path& note = "/dev/null") {
    TestSupport::writeFile(bundle / "bin/tessaly",
                           "#!/bin/sh\necho " + version + " >> '" + note.string() + "'\n");
    fs::permissions(bundle / "bin/tessaly", fs::perms(0755));
    TestSupport::writeFile(bundle / "share/version.txt", version);
    TestSupport::writeFile(bundle / "share/doc/README", "Read me.\n");
    fs::create_directories(bundle / "share/empty");
    fs::create_symlink("../bin/tessaly", bundle / "share/alias");
}

struct ZipEntry {
    std::string name, data;        // the name exactly as stored; a file's bytes, a link's target
    mode_t type = 0, mode = 0755;  // S_IFDIR, S_IFLNK, else a file
};

inline void writeZip(const fs::path& zip, const std::vector<ZipEntry>& entries) {
    const std::unique_ptr<archive, int (*)(archive*)> out(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(out.get());
    bool ok = archive_write_open_filename(out.get(), zip.c_str()) == ARCHIVE_OK;
    for (const ZipEntry& e : entries) {
        const std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                             archive_entry_free);
        archive_entry_set_pathname(entry.get(), e.name.c_str());
        archive_entry_set_filetype(entry.get(), e.type ? e.type : S_IFREG);
        archive_entry_set_perm(entry.get(), e.mode);
        const std::size_t size = e.type == S_IFLNK ? 0 : e.data.size();
        if (e.type == S_IFLNK) archive_entry_set_symlink(entry.get(), e.data.c_str());
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
        ok = ok && archive_write_header(out.get(), entry.get()) == ARCHIVE_OK &&
             archive_write_data(out.get(), e.data.data(), size) >= 0;
    }
    if (!ok || archive_write_close(out.get()) != ARCHIVE_OK)
        throw std::runtime_error("zip " + zip.string() + ": " + archive_error_string(out.get()));
}

// `folder` and everything below it, named from its own name, links as links.
inline void zipFolder(const fs::path& folder, const fs::path& zip) {
    std::vector<ZipEntry> entries{{folder.filename().string() + "/", "", S_IFDIR, 0755}};
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string name = folder.filename() / item.path().lexically_relative(folder);
        const auto mode = static_cast<mode_t>(item.symlink_status().permissions());
        entries.push_back(item.is_symlink() ? ZipEntry{name, fs::read_symlink(item), S_IFLNK, 0777}
                          : item.is_directory()
                              ? ZipEntry{name + "/", "", S_IFDIR, mode}
                              : ZipEntry{name, TestSupport::readFile(item), S_IFREG, mode});
    }
    writeZip(zip, entries);
}

}  // namespace tessaly::UpdateFixtures
