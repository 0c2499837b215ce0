#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "backtick_run.h"
#include "code_span.h"
#include "collation.h"
#include "document.h"
#include "measure.h"
#include "rel_paths.h"
#include "tessaly/pack.h"
#include "tessaly/system/sha256.h"
#include "text.h"

namespace tessaly {

namespace Pack {
namespace {

// One file of the document; `body` points into the collected bytes, which outlive it.
struct Entry {
    DocumentEntry document;
    std::string rel;  // orders the files and names their language
    int rank = 0;
    std::uint64_t longestBacktickRun = 0;
};

// The facts taken while collecting, unless the file was made by hand or its bytes changed.
Collect::FileFacts factsOf(const Collect::CollectedFile& file) {
    const Collect::FileFacts& facts = file.facts;
    if (facts.known && (facts.size == file.data.size() || facts.bytesDropped)) return facts;
    return Collect::measure(file.data);
}

// Keeps the first file of each content, in the order given. A repeated file's bytes are let
// go of at once, the others once copied into the document.
std::vector<Entry> distinctEntries(std::vector<Collect::CollectedFile>& files,
                                   const std::filesystem::path& root, std::int64_t& duplicates) {
    std::vector<Entry> entries;
    entries.reserve(files.size());
    const RelPaths relPaths(root);
    std::unordered_set<System::Sha256, System::Sha256Hash> seen;
    seen.reserve(files.size());
    for (Collect::CollectedFile& file : files) {
        const Collect::FileFacts facts = factsOf(file);
        if (!facts.text) continue;
        // Its bytes were let go of for an earlier copy that is not here: nothing to show.
        if (facts.bytesDropped && !seen.contains(facts.sha256)) continue;
        if (!seen.insert(facts.sha256).second) {
            ++duplicates;
            file.data.release();
            continue;
        }
        Entry entry;
        entry.rel = relPaths.of(file.path);
        entry.document.body = file.data;
        entry.document.characters = facts.characters;
        entry.document.owner = &file.data;
        entry.rank = rank(entry.rel);
        entry.longestBacktickRun = facts.longestBacktickRun;
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

std::vector<DocumentEntry> documentEntries(std::vector<Entry>& entries) {
    std::vector<DocumentEntry> out;
    out.reserve(entries.size());
    for (Entry& e : entries) {
        e.document.fence = fenceFor(e.longestBacktickRun);
        e.document.tag = language(e.rel);
        e.document.span = codeSpan(withoutControls(e.rel));
        out.push_back(std::move(e.document));
    }
    return out;
}

}  // namespace

PackResult build(std::vector<Collect::CollectedFile> files, const std::filesystem::path& root,
                 std::vector<std::string> skipped, std::optional<std::string> title) {
    PackResult result;
    std::vector<Entry> entries = distinctEntries(files, root, result.duplicates);
    sortEntries(entries);
    const std::string heading = withoutControls(
        title ? Text::validUtf8(*title)
              : Text::validUtf8(Text::lastComponent(root.lexically_normal().string())));
    Document document = writeDocument(heading, documentEntries(entries));

    result.markdown = std::move(document.markdown);
    result.fileCount = static_cast<std::int64_t>(entries.size());
    result.tokenEstimate = tokensForCharacters(document.characters);
    result.byteCount = static_cast<std::int64_t>(result.markdown.size());
    result.skipped = std::move(skipped);
    return result;
}

}  // namespace Pack

}  // namespace tessaly
