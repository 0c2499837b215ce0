#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "digest.h"
#include "tessaly/pack.h"
#include "tessaly/text.h"

namespace Pack {
namespace {

struct DigestHash {
    std::size_t operator()(const Digest::Sha256& d) const noexcept {
        std::size_t h;
        std::memcpy(&h, d.data(), sizeof h);  // a digest's bytes are already well mixed
        return h;
    }
};

// One file of the document; `body` points into the collected bytes, which outlive it.
struct Entry {
    std::string rel;
    std::string_view body;
    int rank = 0;
    std::string fence;
    std::string tag;
};

// Keeps the first file of each content, in the order given.
std::vector<Entry> distinctEntries(const std::vector<Collect::CollectedFile>& files,
                                   const std::filesystem::path& root, std::int64_t& duplicates) {
    std::vector<Entry> entries;
    entries.reserve(files.size());
    std::unordered_set<Digest::Sha256, DigestHash> seen;
    for (const Collect::CollectedFile& file : files) {
        if (!Text::isValidUtf8(file.data)) continue;
        if (!seen.insert(Digest::sha256(file.data)).second) {
            ++duplicates;
            continue;
        }
        Entry entry;
        entry.rel = relPath(file.url, root);
        entry.body = file.data;
        entry.rank = rank(entry.rel);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void sortEntries(std::vector<Entry>& entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        return naturalLess(a.rel, b.rel);
    });
}

bool endsWithNewline(std::string_view s) {
    return !s.empty() && s.back() == '\n';
}

// Writes the pieces into `out`; with a null `out` only measures them.
std::size_t layout(const std::string& title, const std::vector<Entry>& entries, std::string* out) {
    std::size_t size = 0;
    const auto put = [&](std::string_view piece) {
        size += piece.size();
        if (out) out->append(piece);
    };
    put("# Context: ");
    put(title);
    put("\n\n## Files (");
    put(std::to_string(entries.size()));
    put(")\n\n");
    for (const Entry& e : entries) {
        put("- `");
        put(e.rel);
        put("`\n");
    }
    put("\n---\n\n");
    for (const Entry& e : entries) {
        put("## `");
        put(e.rel);
        put("`\n\n");
        put(e.fence);
        put(e.tag);
        put("\n");
        put(e.body);
        if (!endsWithNewline(e.body)) put("\n");
        put(e.fence);
        put("\n\n");
    }
    return size;
}

}  // namespace

PackResult build(const std::vector<Collect::CollectedFile>& files,
                 const std::filesystem::path& root, std::vector<std::string> skipped,
                 std::optional<std::string> title) {
    PackResult result;
    std::vector<Entry> entries = distinctEntries(files, root, result.duplicates);
    sortEntries(entries);
    for (Entry& e : entries) {
        e.fence = fence(e.body);
        e.tag = language(e.rel);
    }
    const std::string heading =
        title ? Text::validUtf8(*title)
              : Text::validUtf8(Text::lastComponent(root.lexically_normal().string()));
    result.markdown.reserve(layout(heading, entries, nullptr));
    layout(heading, entries, &result.markdown);

    result.fileCount = static_cast<std::int64_t>(entries.size());
    result.tokenEstimate = estimateTokens(result.markdown);
    result.byteCount = static_cast<std::int64_t>(result.markdown.size());
    result.skipped = std::move(skipped);
    return result;
}

}  // namespace Pack
