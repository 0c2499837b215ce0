#include "tessaly/unpack_zip.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "bundle_paths.h"
#include "tessaly/update_error.h"

namespace tessaly {

namespace Update {
namespace {

namespace fs = std::filesystem;

struct ReadFree {
    void operator()(archive* a) const noexcept { archive_read_free(a); }
};
using ArchiveReader = std::unique_ptr<archive, ReadFree>;

struct WriteFree {
    void operator()(archive* a) const noexcept { archive_write_free(a); }
};
using DiskWriter = std::unique_ptr<archive, WriteFree>;

// Not ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS: every path the writer gets is absolute, the
// target's own joined with an entry's name, whose absolute and ".." forms are refused first.
// The target's path is resolved beforehand, so the writer's check for links on the way only
// ever meets links the archive made.
constexpr int extractFlags = ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                             ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME;

[[noreturn]] void fail(const std::string& detail) {
    throw UpdateFailure(UpdateError::unpack, detail);
}

std::string reason(archive* a) {
    const char* text = archive_error_string(a);
    return text ? text : "unknown libarchive failure";
}

// "a/./b//c/" as "a/b/c"; nothing for an absolute name, one with a ".." name, or an empty one.
std::optional<std::string> normalized(std::string_view name) {
    if (name.empty() || name.front() == '/') return std::nullopt;
    std::string out;
    while (!name.empty()) {
        const std::size_t slash = name.find('/');
        const std::string_view part = name.substr(0, slash);
        name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") return std::nullopt;
        if (!out.empty()) out += '/';
        out += part;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

// Folders an unpacked tree may have made read-only are opened up so it can be removed.
void openUp(const fs::path& folder) {
    ::chmod(folder.c_str(), S_IRWXU);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->symlink_status(ec).type() == fs::file_type::directory) openUp(it->path());
}

// libarchive turns names into the thread's locale, and in the "C" locale a name marked UTF-8
// turns into nothing. Unpacking runs in C.UTF-8, whatever the program's locale, so names come
// out as the bytes they were stored as; a thread-local locale leaves other threads alone.
class Utf8Locale {
  public:
    Utf8Locale() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {
        if (locale_) previous_ = ::uselocale(locale_);
    }
    ~Utf8Locale() {
        if (!locale_) return;
        ::uselocale(previous_);
        ::freelocale(locale_);
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

  private:
    locale_t locale_;
    locale_t previous_ = LC_GLOBAL_LOCALE;
};

void removeUnpacked(const fs::path& target) noexcept {
    try {
        openUp(target);
        std::error_code ec;
        fs::remove_all(target, ec);
    } catch (...) {
        // Leaving a scratch folder behind must not hide why unpacking failed.
    }
}

class Unpacker {
  public:
    Unpacker(const fs::path& zip, fs::path base, const UnpackLimits& limits)
        : zip_(zip), base_(std::move(base)), limits_(limits) {}

    void run() {
        openArchive();
        openDisk();
        while (true) {
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(reader_.get(), &entry);
            if (status == ARCHIVE_EOF) break;
            if (status < ARCHIVE_WARN) fail(where() + reason(reader_.get()));
            if (++entries_ > limits_.maxEntries)
                fail(where() + "more than " + std::to_string(limits_.maxEntries) + " entries");
            unpackEntry(entry);
        }
        if (archive_write_close(disk_.get()) != ARCHIVE_OK) fail(where() + reason(disk_.get()));
    }

  private:
    void openArchive() {
        reader_.reset(archive_read_new());
        if (!reader_ || archive_read_support_format_zip(reader_.get()) != ARCHIVE_OK)
            fail(where() + "cannot make a zip reader");
        if (archive_read_open_filename(reader_.get(), zip_.c_str(), 1 << 16) != ARCHIVE_OK)
            fail(where() + reason(reader_.get()));
    }

    void openDisk() {
        disk_.reset(archive_write_disk_new());
        if (!disk_ || archive_write_disk_set_options(disk_.get(), extractFlags) != ARCHIVE_OK)
            fail(where() + "cannot make a disk writer");
    }

    void unpackEntry(archive_entry* entry) {
        const char* rawName = archive_entry_pathname(entry);
        if (!rawName) fail(where() + "an entry without a name");
        const std::string name = rawName;
        const auto path = normalized(name);
        if (!path) fail(where() + name + ": not a name below the target");
        const mode_t type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry)) {
            placeHardLink(entry, name);
        } else if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (!target || !BundlePaths::linkStaysInside(*path, target))
                fail(where() + name + ": a link that could lead out of the target");
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            fail(where() + name + ": neither a file, a folder nor a link");
        }
        claim(*path, name, type);
        archive_entry_set_pathname(entry, (base_ / *path).c_str());
        const std::int64_t declared =
            archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        if (declared < 0) fail(where() + name + ": a negative size");
        // The writer extends a file to its declared size, so that counts as unpacked too.
        countBytes(static_cast<std::uint64_t>(declared), name);
        if (archive_write_header(disk_.get(), entry) != ARCHIVE_OK)
            fail(where() + name + ": " + reason(disk_.get()));
        copyData(name, static_cast<std::uint64_t>(declared));
        if (archive_write_finish_entry(disk_.get()) != ARCHIVE_OK)
            fail(where() + name + ": " + reason(disk_.get()));
    }

    void placeHardLink(archive_entry* entry, const std::string& name) {
        const auto target = normalized(archive_entry_hardlink(entry));
        if (!target || !files_.contains(*target))
            fail(where() + name + ": a hard link to no file unpacked before it");
        archive_entry_set_hardlink(entry, (base_ / *target).c_str());
    }

    // Each path is unpacked once, never below a file or link, and never replaces a folder
    // that entries below it made.
    void claim(const std::string& path, const std::string& name, mode_t type) {
        const bool folder = type == AE_IFDIR;
        if (claimed_.contains(path) || (!folder && implied_.contains(path)))
            fail(where() + name + ": appears twice");
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            const std::string above = path.substr(0, slash);
            if (claimed_.contains(above) && !folders_.contains(above))
                fail(where() + name + ": below a file or link");
            implied_.insert(above);
        }
        claimed_.insert(path);
        if (folder) folders_.insert(path);
        if (type == AE_IFREG) files_.insert(path);
    }

    void copyData(const std::string& name, std::uint64_t declared) {
        std::uint64_t written = 0;
        while (true) {
            const void* block = nullptr;
            std::size_t size = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader_.get(), &block, &size, &offset);
            if (status == ARCHIVE_EOF) break;
            if (status != ARCHIVE_OK) fail(where() + name + ": " + reason(reader_.get()));
            const std::uint64_t before = written;
            written += size;
            if (written > declared) countBytes(written - std::max(before, declared), name);
            if (archive_write_data_block(disk_.get(), block, size, offset) != ARCHIVE_OK)
                fail(where() + name + ": " + reason(disk_.get()));
        }
    }

    void countBytes(std::uint64_t more, const std::string& name) {
        if (more > limits_.maxBytes - bytes_)
            fail(where() + name + ": unpacks to more than " + std::to_string(limits_.maxBytes) +
                 " bytes");
        bytes_ += more;
    }

    std::string where() const { return "unpack(" + zip_.string() + "): "; }

    fs::path zip_;
    fs::path base_;
    UnpackLimits limits_;
    ArchiveReader reader_;
    DiskWriter disk_;
    std::uint64_t entries_ = 0;
    std::uint64_t bytes_ = 0;
    std::unordered_set<std::string> claimed_;  // every entry's path
    std::unordered_set<std::string> folders_;  // entries that are folders
    std::unordered_set<std::string> files_;    // entries that are files
    std::unordered_set<std::string> implied_;  // folders above entries
};

}  // namespace

void unpackZip(const fs::path& zip, const fs::path& target, const UnpackLimits& limits) {
    if (::mkdir(target.c_str(), S_IRWXU) != 0)
        fail("mkdir(" + target.string() + "): " + std::strerror(errno));
    try {
        std::error_code ec;
        const fs::path base = fs::canonical(target, ec);
        if (ec) fail("realpath(" + target.string() + "): " + ec.message());
        const Utf8Locale utf8;
        Unpacker(zip, base, limits).run();
    } catch (...) {
        removeUnpacked(target);
        throw;
    }
}

}  // namespace Update

}  // namespace tessaly
