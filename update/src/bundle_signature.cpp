#include "tessaly/bundle_signature.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "hex.h"
#include "tessaly/atomic_file.h"
#include "tessaly/scan_bundle.h"
#include "tessaly/system/io.h"
#include "tessaly/system/system_error.h"
#include "tessaly/system/unique_fd.h"
#include "tessaly/update_error.h"

namespace tessaly {

namespace Update {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view signaturePrefix = "signature ";

// A list of a hundred thousand entries is some ten megabytes.
constexpr std::size_t maxSignatureFileSize = 64 << 20;

using System::UniqueFd;

[[noreturn]] void refuse(const std::string& detail) {
    throw UpdateFailure(UpdateError::badSignature, detail);
}

UniqueFd openBundle(const fs::path& bundle) {
    UniqueFd fd(::open(bundle.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        if (errno == ELOOP || errno == ENOTDIR) refuse(bundle.string() + ": not a folder");
        System::throwSystem("open", bundle.native());
    }
    return fd;
}

std::string readSignatureFile(const fs::path& bundle) {
    const UniqueFd root = openBundle(bundle);
    const fs::path file = bundle / signatureFileName;
    const std::string name(signatureFileName);
    UniqueFd fd(::openat(root.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) refuse("not signed: no " + file.string());
        if (errno == ELOOP) refuse(file.string() + " is a link");
        System::throwSystem("open", file.native());
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) System::throwSystem("fstat", file.native());
    if (!S_ISREG(st.st_mode)) refuse(file.string() + " is not a file");
    auto text = System::readAll(fd.get(), maxSignatureFileSize, file.native());
    if (!text) refuse(file.string() + " is too large");
    return std::move(*text);
}

struct SignedText {
    std::string_view list;
    Signature signature{};
};

// The list's text and the signature on the last line.
std::optional<SignedText> splitSignature(std::string_view text) {
    if (text.size() < 2 || text.back() != '\n') return std::nullopt;
    const std::size_t previousEnd = text.rfind('\n', text.size() - 2);
    const std::size_t lineStart = previousEnd == std::string_view::npos ? 0 : previousEnd + 1;
    std::string_view line = text.substr(lineStart, text.size() - 1 - lineStart);
    if (!line.starts_with(signaturePrefix)) return std::nullopt;
    line.remove_prefix(signaturePrefix.size());
    SignedText out{.list = text.substr(0, lineStart)};
    if (!Hex::decode(line, out.signature, false)) return std::nullopt;
    return out;
}

const char* kindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::dir:
            return "folder";
        case EntryKind::file:
            return "file";
        case EntryKind::link:
            return "link";
    }
    return "entry";
}

// How one entry on disk differs from the same path as signed.
std::optional<std::string> change(const SignedEntry& expected, const SignedEntry& found,
                                  const fs::path& bundle) {
    const std::string where = (bundle / found.path).string();
    if (expected.kind != found.kind)
        return where + " is a " + kindName(found.kind) + ", signed as a " + kindName(expected.kind);
    if (expected.sha256 != found.sha256) return where + ": content changed since signing";
    if (expected.executable != found.executable)
        return where + (found.executable ? ": made executable" : ": no longer executable") +
               " since signing";
    if (expected.linkTarget != found.linkTarget)
        return where + " points to " + found.linkTarget + ", signed as " + expected.linkTarget;
    return std::nullopt;
}

// The first difference between the signed entries and those on disk, both sorted by path.
std::optional<std::string> firstDifference(const std::vector<SignedEntry>& expected,
                                           const std::vector<SignedEntry>& found,
                                           const fs::path& bundle) {
    auto e = expected.begin();
    auto f = found.begin();
    while (e != expected.end() || f != found.end()) {
        if (f == found.end() || (e != expected.end() && e->path < f->path))
            return "missing since signing: " + (bundle / e->path).string();
        if (e == expected.end() || f->path < e->path)
            return "not signed: " + (bundle / f->path).string();
        if (auto difference = change(*e, *f, bundle)) return difference;
        ++e;
        ++f;
    }
    return std::nullopt;
}

}  // namespace

SignedList signBundle(const fs::path& bundle, const PrivateKey& key, std::string team,
                      std::string version) {
    if (team.empty()) throw std::invalid_argument("sign: the team is empty");
    if (version.empty()) throw std::invalid_argument("sign: the version is empty");
    // The atomic write would write through a link; nothing but a file may stand there.
    const fs::path file = bundle / signatureFileName;
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw UnsignableBundle(file.string() + " is not a file");

    SignedList list = scanBundle(bundle, std::move(team), std::move(version));
    const std::string text = writeList(list);
    if (parseList(text) != list) throw std::logic_error("sign: the list does not read back");
    const std::string signature = Hex::encode(key.sign(text));
    AtomicFile::write(file, text + std::string(signaturePrefix) + signature + "\n");
    return list;
}

std::string verifyBundle(const fs::path& bundle, const Trust& trust) {
    const std::string text = readSignatureFile(bundle);
    const auto split = splitSignature(text);
    if (!split) refuse((bundle / signatureFileName).string() + " is malformed");
    if (!signatureIsValid(trust.publicKey, split->list, split->signature))
        refuse((bundle / signatureFileName).string() + " is not signed by the trusted key");
    auto list = parseList(split->list);
    if (!list) refuse((bundle / signatureFileName).string() + " holds a malformed list");
    if (list->team != trust.team)
        refuse("signed by team " + list->team + ", not by the trusted team " + trust.team);

    SignedList found;
    try {
        found = scanBundle(bundle, list->team, list->version);
    } catch (const UnsignableBundle& e) {
        refuse(e.what());
    }
    if (auto difference = firstDifference(list->entries, found.entries, bundle))
        refuse(*difference);
    return list->version;
}

}  // namespace Update

}  // namespace tessaly
