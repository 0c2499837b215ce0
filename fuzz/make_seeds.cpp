// Writes the fuzzers' seed corpus: tessaly-fuzz-seeds DIR writes DIR/<target>/<seed> for each
// target. The corpus in the repository is its output; run it again after changing a seed.

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tessaly/signed_list.h"

using namespace tessaly;

namespace {

namespace fs = std::filesystem;

void writeSeed(const fs::path& dir, const std::string& target, const std::string& name,
               std::string_view bytes) {
    fs::create_directories(dir / target);
    std::ofstream out(dir / target / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("write(" + (dir / target / name).string() + ") failed");
}

// A zip written entry by entry with libarchive, the way a release's archive is made.
class Zip {
  public:
    Zip(const fs::path& file, bool stored) : archive_(archive_write_new()) {
        check(archive_write_set_format_zip(archive_.get()), "zip format");
        if (stored)
            check(archive_write_set_options(archive_.get(), "zip:compression=store"), "store");
        check(archive_write_open_filename(archive_.get(), file.c_str()), "open " + file.string());
    }

    Zip& folder(const std::string& name) { return add(name, AE_IFDIR, 0755, {}, {}); }
    Zip& file(const std::string& name, std::string_view bytes, mode_t mode = 0644) {
        return add(name, AE_IFREG, mode, bytes, {});
    }
    Zip& link(const std::string& name, const std::string& target) {
        return add(name, AE_IFLNK, 0777, {}, target);
    }
    void close() { check(archive_write_close(archive_.get()), "close"); }

  private:
    struct EntryFree {
        void operator()(archive_entry* e) const noexcept { archive_entry_free(e); }
    };
    struct WriteFree {
        void operator()(archive* a) const noexcept { archive_write_free(a); }
    };

    Zip& add(const std::string& name, mode_t type, mode_t mode, std::string_view bytes,
             const std::string& linkTarget) {
        const std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), name.c_str());
        archive_entry_set_filetype(entry.get(), type);
        archive_entry_set_perm(entry.get(), mode);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        if (type == AE_IFREG)
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
        if (type == AE_IFLNK) archive_entry_set_symlink(entry.get(), linkTarget.c_str());
        check(archive_write_header(archive_.get(), entry.get()), name);
        if (!bytes.empty() && archive_write_data(archive_.get(), bytes.data(), bytes.size()) !=
                                  static_cast<la_ssize_t>(bytes.size()))
            check(ARCHIVE_FATAL, name);
        return *this;
    }

    void check(int status, const std::string& what) {
        if (status == ARCHIVE_OK) return;
        const char* reason = archive_error_string(archive_.get());
        throw std::runtime_error(what + ": " + (reason ? reason : "libarchive failed"));
    }

    std::unique_ptr<archive, WriteFree> archive_;
};

void textSeeds(const fs::path& dir) {
    writeSeed(dir, "text", "plain", "Hello, world.\r\nSecond line\n");
    writeSeed(dir, "text", "utf8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf\n");
    writeSeed(dir, "text", "nul", std::string("ab\0cd", 5));
    writeSeed(dir, "text", "overlong-surrogate-too-high",
              "\xc0\xaf \xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80");
    writeSeed(dir, "text", "truncated", "abc\xe2\x82");
    // Only the first sniffLength bytes are searched for NUL; this seed also lets the fuzzer
    // make inputs that long.
    std::string pastTheSniff;
    while (pastTheSniff.size() < 8000)
        pastTheSniff += "line of text\n";
    pastTheSniff.resize(8000);
    writeSeed(dir, "text", "nul-past-the-sniffed-bytes", pastTheSniff + std::string("\0tail\n", 6));
}

void tokensFenceSeeds(const fs::path& dir) {
    writeSeed(dir, "tokens_fence", "crlf", "int main() {\r\n  return 0;\r\n}\r");
    writeSeed(dir, "tokens_fence", "fences", "Use ``` to fence:\n```\ncode\n```\n   ````  \n`x`\n");
    writeSeed(dir, "tokens_fence", "combining", "````\u0301```\n`\u0301``\n\u0600```\n");
    writeSeed(dir, "tokens_fence", "clusters",
              "\u1100\u1161\u11A8 \uAC00 \U0001F44D\U0001F3FB \U0001F1E9\U0001F1EA "
              "\U0001F468\u200D\U0001F469\u200D\U0001F467 x\u0308\u0301\u00AD\t\x7F\n");
    writeSeed(dir, "tokens_fence", "document",
              "Title \u00e9\xff"
              "body one\n\xff"
              "```\ncode\n```\r\xff"
              "\u0301mark first\xff\xff"
              "ends in a joiner\u200D");
}

void languageSeeds(const fs::path& dir) {
    const char* paths[] = {"main.swift",
                           "src/App.JS",
                           "Stra\xc3\x9f"
                           "e.\xc3\x84"
                           "BC",
                           ".gitignore",
                           "a.tar.gz",
                           "lib.d/README",
                           "notes.txt/",
                           "x.c++",
                           "noext"};
    int i = 0;
    for (const char* path : paths)
        writeSeed(dir, "language", "path" + std::to_string(++i), path);
    // Found by the fuzzer: a control character in an unknown extension went into the tag.
    writeSeed(dir, "language", "control-in-extension", "xm.i\x16nmaisft");
}

void versionSeeds(const fs::path& dir) {
    writeSeed(dir, "version", "minor", "1.2.0\n1.10");
    writeSeed(dir, "version", "trailing-zeros", "1.0\n1.0.0\n1");
    writeSeed(dir, "version", "signs-and-limits",
              "-1.+2.3\n9223372036854775807\n-9223372036854775808.1");
    writeSeed(dir, "version", "empty-pieces", "1..2\n1.2.\n.1.2");
    writeSeed(dir, "version", "unreadable", "1.2a\n1.2\n01.002.99999999999999999999");
}

void manifestSeeds(const fs::path& dir) {
    const std::string manifest =
        R"({"version": "1.1.0", "url": "https://updates.orvane.example/tessaly/Tessaly-1.1.0.zip", "notes": "What changed"})";
    writeSeed(dir, "manifest", "offer", "0.1.0\n" + manifest);
    writeSeed(dir, "manifest", "not-newer", "1.1.0\n" + manifest);
    writeSeed(dir, "manifest", "http",
              "0.1.0\n{\"version\": \"2\", \"url\": \"http://updates.orvane.example/a.zip\"}");
    writeSeed(dir, "manifest", "odd-members",
              "1\n{\"version\":\"1.0.1\",\"url\":\"https://h:8443/p?q=1#f\",\"notes\":null,"
              "\"extra\":[1,2.5e3,true]}");
    writeSeed(dir, "manifest", "no-object", "0.1\n[\"version\", \"url\"]");
}

void signedListSeeds(const fs::path& dir) {
    Update::SignedList list{"ABCDE12345", "1.2.0", {}};
    Update::Sha256 digest{};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(i * 37 + 11);
    using Update::EntryKind;
    list.entries = {
        {"bin", EntryKind::dir, false, {}, {}},
        {"bin/tessaly", EntryKind::file, true, digest, {}},
        {"share", EntryKind::dir, false, {}, {}},
        {"share/alias", EntryKind::link, false, {}, "../bin/tessaly"},
        {"share/caf\xc3\xa9 menu%", EntryKind::file, false, digest, {}},
        {"share/doc", EntryKind::dir, false, {}, {}},
        {"share/doc/README", EntryKind::file, false, digest, {}},
    };
    writeSeed(dir, "signed_list", "bundle", Update::writeList(list));
    writeSeed(dir, "signed_list", "empty-bundle",
              Update::writeList({"TEAM 1", "2.0.0-beta\n", {}}));
}

void unzipSeeds(const fs::path& dir) {
    fs::create_directories(dir / "unzip");
    Zip(dir / "unzip" / "bundle", false)
        .folder("Tessaly.app/")
        .folder("Tessaly.app/bin/")
        .file("Tessaly.app/bin/tessaly", "#!/bin/sh\necho tessaly\n", 0755)
        .file("Tessaly.app/share/doc/README", "Read me. Read me. Read me.\n")
        .link("Tessaly.app/share/alias", "../bin/tessaly")
        .close();
    Zip(dir / "unzip" / "stored", true)
        .file("caf\xc3\xa9", "1")
        .folder("d/")
        .link("d/up", "../caf\xc3\xa9")
        .file("d/read-only", "x", 0400)
        .close();
    Zip(dir / "unzip" / "refused", true)
        .link("out", "../sentinel")
        .file("../sentinel/keep", "changed\n")
        .close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaly-fuzz-seeds DIR\n");
        return 2;
    }
    try {
        const fs::path dir = argv[1];
        textSeeds(dir);
        tokensFenceSeeds(dir);
        languageSeeds(dir);
        versionSeeds(dir);
        manifestSeeds(dir);
        signedListSeeds(dir);
        unzipSeeds(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaly-fuzz-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
