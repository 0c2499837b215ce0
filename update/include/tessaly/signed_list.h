#pragma once
// The list a bundle's signature covers: the signing team, the version, and every folder, file
// and link in the bundle. As text, one record a line:
//
//   tessaly-signed-list 1
//   team ABCDE12345
//   version 1.2.0
//   dir bin
//   file x <sha256 hex> bin/tessaly        ("x": owner may execute; "-": not)
//   file - <sha256 hex> share/doc/README
//   link <target> share/alias
//
// Team, version, paths and link targets are percent-encoded ("%", space, control bytes and
// bytes outside ASCII as "%XX", upper-case), so any bytes fit in one space-free word. Entries
// are sorted by path in byte order, each below a listed folder.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/system/sha256.h"

namespace tessaly {

namespace Update {

using System::Sha256;

// The signature file at the top of a bundle; the list never names it.
inline constexpr std::string_view signatureFileName = "SIGNATURE";

enum class EntryKind { dir, file, link };

struct SignedEntry {
    std::string path;  // below the bundle, names joined by "/"
    EntryKind kind = EntryKind::file;
    bool executable = false;  // files: the owner-execute bit
    Sha256 sha256{};          // files: of the content
    std::string linkTarget;   // links: exactly as readlink gives it

    bool operator==(const SignedEntry&) const = default;
};

struct SignedList {
    std::string team;
    std::string version;
    std::vector<SignedEntry> entries;  // sorted by path

    bool operator==(const SignedList&) const = default;
};

// The text of `list`, which must hold what `parseList` accepts.
std::string writeList(const SignedList& list);

// The list in `text`, or nothing unless the text is exactly what `writeList` writes for some
// valid list: no unknown record, empty team or version, unsorted or repeated path, path with
// an empty, "." or ".." name, absolute path, entry outside a listed folder, bad digest or
// missing header. Linear in the text's size; never throws for bad input.
[[nodiscard]] std::optional<SignedList> parseList(std::string_view text);

}  // namespace Update

}  // namespace tessaly
