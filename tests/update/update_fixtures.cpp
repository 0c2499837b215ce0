#include "update_fixtures.h"

#include <archive.h>
#include <archive_entry.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <stdexcept>
#include <system_error>
#include <thread>

#include "test_support.h"

extern char** environ;

namespace tessaly {

namespace UpdateFixtures {

namespace fs = std::filesystem;

void makeBundle(const fs::path& bundle) {
    TestSupport::writeFile(bundle / "bin/tessaly", "#!/bin/sh\necho tessaly\n");
    fs::permissions(bundle / "bin/tessaly", fs::perms::owner_exec | fs::perms::group_exec,
                    fs::perm_options::add);
    TestSupport::writeFile(bundle / "share/doc/README", "Read me.\n");
    TestSupport::writeFile(bundle / "lib/nested/deep/data.bin", std::string("\0\1\2\3", 4));
    fs::create_directories(bundle / "share/empty");
    fs::create_symlink("../bin/tessaly", bundle / "share/alias");
}

namespace {

struct EntryFree {
    void operator()(archive_entry* e) const noexcept { archive_entry_free(e); }
};
using Entry = std::unique_ptr<archive_entry, EntryFree>;

Entry newEntry(const std::string& name, mode_t type, mode_t mode) {
    Entry entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), type);
    archive_entry_set_perm(entry.get(), mode);
    archive_entry_set_mtime(entry.get(), 1700000000, 0);
    return entry;
}

void check(archive* a, int status, const std::string& what) {
    if (status == ARCHIVE_OK) return;
    const char* reason = archive_error_string(a);
    throw std::runtime_error(what + ": " + (reason ? reason : "libarchive failed"));
}

void addTree(ZipWriter& zip, const fs::path& path, const std::string& name) {
    const auto status = fs::symlink_status(path);
    if (fs::is_symlink(status)) {
        zip.link(name, fs::read_symlink(path).string());
    } else if (fs::is_directory(status)) {
        zip.folder(name + "/", static_cast<mode_t>(status.permissions()));
        for (const auto& child : fs::directory_iterator(path))
            addTree(zip, child.path(), name + "/" + child.path().filename().string());
    } else {
        zip.file(name, TestSupport::readFile(path), static_cast<mode_t>(status.permissions()));
    }
}

}  // namespace

void ZipWriter::Free::operator()(archive* a) const noexcept {
    archive_write_free(a);
}

ZipWriter::ZipWriter(const fs::path& zip) : archive_(archive_write_new()) {
    check(archive_.get(), archive_write_set_format_zip(archive_.get()), "zip format");
    check(archive_.get(), archive_write_open_filename(archive_.get(), zip.c_str()),
          "open " + zip.string());
}

ZipWriter::~ZipWriter() = default;

ZipWriter& ZipWriter::file(const std::string& name, std::string_view bytes, mode_t mode) {
    const Entry entry = newEntry(name, AE_IFREG, mode);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
    check(archive_.get(), archive_write_header(archive_.get(), entry.get()), name);
    if (archive_write_data(archive_.get(), bytes.data(), bytes.size()) !=
        static_cast<la_ssize_t>(bytes.size()))
        check(archive_.get(), ARCHIVE_FATAL, name);
    return *this;
}

ZipWriter& ZipWriter::folder(const std::string& name, mode_t mode) {
    const Entry entry = newEntry(name, AE_IFDIR, mode);
    check(archive_.get(), archive_write_header(archive_.get(), entry.get()), name);
    return *this;
}

ZipWriter& ZipWriter::link(const std::string& name, const std::string& target) {
    const Entry entry = newEntry(name, AE_IFLNK, 0777);
    archive_entry_set_symlink(entry.get(), target.c_str());
    check(archive_.get(), archive_write_header(archive_.get(), entry.get()), name);
    return *this;
}

void ZipWriter::close() {
    check(archive_.get(), archive_write_close(archive_.get()), "close zip");
}

void zipFolder(const fs::path& folder, const fs::path& zip) {
    zipFolders({folder}, zip);
}

void zipFolders(const std::vector<fs::path>& folders, const fs::path& zip) {
    ZipWriter writer(zip);
    for (const fs::path& folder : folders)
        addTree(writer, folder, folder.filename().string());
    writer.close();
}

pid_t spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (const int error = ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ))
        throw std::system_error(error, std::generic_category(), "posix_spawn(" + args[0] + ")");
    return pid;
}

pid_t endedProcess() {
    const pid_t pid = spawn({"/bin/true"});
    ::waitpid(pid, nullptr, 0);
    return pid;
}

std::string lineWhenWritten(const fs::path& file) {
    std::string noted = TestSupport::readFile(file);
    for (int i = 0; i < 200 && noted.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        noted = TestSupport::readFile(file);
    }
    return noted.empty() ? "(not written)" : noted;
}

}  // namespace UpdateFixtures

}  // namespace tessaly
