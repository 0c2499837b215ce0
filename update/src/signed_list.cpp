#include "tessaly/signed_list.h"

#include <unordered_set>

#include "bundle_paths.h"
#include "hex.h"
#include "percent_encoding.h"

namespace tessaly {

namespace Update {
namespace {

constexpr std::string_view header = "tessaly-signed-list 1";

std::string entryLine(const SignedEntry& entry) {
    const std::string path = PercentEncoding::encode(entry.path);
    switch (entry.kind) {
        case EntryKind::dir:
            return "dir " + path;
        case EntryKind::file:
            return std::string("file ") + (entry.executable ? "x " : "- ") +
                   Hex::encode(entry.sha256) + " " + path;
        case EntryKind::link:
            return "link " + PercentEncoding::encode(entry.linkTarget) + " " + path;
    }
    return {};
}

// The words of one line; empty words (two spaces, a leading or trailing space) are kept so
// that they are refused.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    while (true) {
        const std::size_t space = line.find(' ');
        out.push_back(line.substr(0, space));
        if (space == std::string_view::npos) return out;
        line.remove_prefix(space + 1);
    }
}

// Splits `text` into lines, each of which ended in "\n"; nothing when the last did not.
std::optional<std::vector<std::string_view>> lines(std::string_view text) {
    if (text.empty() || text.back() != '\n') return std::nullopt;
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        out.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return out;
}

std::optional<std::string> headerValue(std::string_view line, std::string_view keyword) {
    const auto w = words(line);
    if (w.size() != 2 || w[0] != keyword) return std::nullopt;
    auto value = PercentEncoding::decode(w[1]);
    if (!value || value->empty()) return std::nullopt;
    return value;
}

std::optional<SignedEntry> parseEntry(std::string_view line) {
    const auto w = words(line);
    SignedEntry entry;
    std::optional<std::string> path;
    if (w[0] == "dir" && w.size() == 2) {
        entry.kind = EntryKind::dir;
        path = PercentEncoding::decode(w[1]);
    } else if (w[0] == "file" && w.size() == 4) {
        entry.kind = EntryKind::file;
        if (w[1] != "x" && w[1] != "-") return std::nullopt;
        entry.executable = w[1] == "x";
        if (!Hex::decode(w[2], entry.sha256, false)) return std::nullopt;
        path = PercentEncoding::decode(w[3]);
    } else if (w[0] == "link" && w.size() == 3) {
        entry.kind = EntryKind::link;
        auto target = PercentEncoding::decode(w[1]);
        if (!target || target->empty()) return std::nullopt;
        entry.linkTarget = std::move(*target);
        path = PercentEncoding::decode(w[2]);
    } else {
        return std::nullopt;
    }
    if (!path || !BundlePaths::isPlainRelative(*path) || *path == signatureFileName)
        return std::nullopt;
    entry.path = std::move(*path);
    return entry;
}

std::string_view parentOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

}  // namespace

std::string writeList(const SignedList& list) {
    std::string text(header);
    text += "\nteam " + PercentEncoding::encode(list.team) + "\nversion " +
            PercentEncoding::encode(list.version) + "\n";
    for (const SignedEntry& entry : list.entries)
        text += entryLine(entry) + "\n";
    return text;
}

std::optional<SignedList> parseList(std::string_view text) {
    const auto all = lines(text);
    if (!all || all->size() < 3 || (*all)[0] != header) return std::nullopt;
    SignedList list;
    auto team = headerValue((*all)[1], "team");
    auto version = headerValue((*all)[2], "version");
    if (!team || !version) return std::nullopt;
    list.team = std::move(*team);
    list.version = std::move(*version);

    std::unordered_set<std::string> folders;
    for (std::size_t i = 3; i < all->size(); ++i) {
        auto entry = parseEntry((*all)[i]);
        if (!entry) return std::nullopt;
        if (!list.entries.empty() && !(list.entries.back().path < entry->path)) return std::nullopt;
        const std::string_view parent = parentOf(entry->path);
        if (!parent.empty() && !folders.contains(std::string(parent))) return std::nullopt;
        if (entry->kind == EntryKind::dir) folders.insert(entry->path);
        list.entries.push_back(std::move(*entry));
    }
    return list;
}

}  // namespace Update

}  // namespace tessaly
