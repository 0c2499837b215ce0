// The token estimate and the fences take shortcuts (line by line, ASCII without ICU, each body
// counted alone and the counts added up): on any valid UTF-8 they must agree with ICU walking
// the whole text. And no line of a body may close the fence chosen for it, by CommonMark's rule
// for a closing fence, which knows nothing of graphemes.
//
// Input: a title and up to eight bodies, separated by 0xFF (a byte no UTF-8 holds).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "measure.h"
#include "backtick_run.h"
#include "document.h"
#include "property.h"
#include "strict_utf8.h"
#include "tessaly/collect.h"
#include "tessaly/file_facts.h"
#include "tessaly/pack.h"
#include "text.h"
#include "whole_text_clusters.h"

using namespace tessaly;

namespace {

using Fuzz::require;

Fuzz::WholeTextClusters& clusters() {
    static Fuzz::WholeTextClusters walker;
    return walker;
}

std::int64_t icuCount(std::string_view utf8) {
    return static_cast<std::int64_t>(clusters().of(utf8).size());
}

std::int64_t referenceTokens(std::int64_t characters) {
    return characters > 3 ? characters / 4 : 1;
}

// Longest run of characters that are a lone backtick, over the whole text.
std::size_t longestBacktickCharacters(std::string_view utf8) {
    std::size_t longest = 0, run = 0;
    for (const auto& [start, end] : clusters().of(utf8)) {
        run = end - start == 1 && utf8[start] == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// CommonMark: up to three spaces, at least as many backticks as the fence, then only spaces
// and tabs.
bool closesFence(std::string_view line, std::size_t fenceLength) {
    std::size_t i = 0;
    while (i < line.size() && i < 3 && line[i] == ' ')
        ++i;
    std::size_t run = 0;
    for (; i < line.size() && line[i] == '`'; ++i)
        ++run;
    if (run < fenceLength) return false;
    return line.substr(i).find_first_not_of(" \t") == std::string_view::npos;
}

// Lines end in LF, CR LF or a lone CR.
bool anyLineCloses(std::string_view text, std::size_t fenceLength) {
    while (true) {
        const std::size_t end = text.find_first_of("\r\n");
        if (closesFence(text.substr(0, end), fenceLength)) return true;
        if (end == std::string_view::npos) return false;
        text.remove_prefix(end + 1);
    }
}

void checkText(std::string_view utf8) {
    const std::int64_t characters = icuCount(utf8);
    require(Text::countGraphemes(utf8) == characters,
            "the grapheme count equals ICU's over the whole text");
    require(Pack::estimateTokens(utf8) == referenceTokens(characters),
            "the token estimate is a quarter of ICU's count, at least 1");

    const std::string fence = Pack::fence(utf8);
    require(fence.size() >= 3 && fence.find_first_not_of('`') == std::string::npos,
            "a fence is three or more backticks");
    const std::size_t longest = longestBacktickCharacters(utf8);
    require(fence.size() == std::max<std::size_t>(longest + 1, 3),
            "the fence is one longer than the longest run of backtick characters");
    require(!anyLineCloses(utf8, fence.size()), "no line of a body closes its fence");

    const Collect::FileFacts facts = Collect::measure(utf8);
    require(facts.text && facts.characters == characters &&
                Pack::fenceFor(facts.longestBacktickRun) == fence,
            "measuring a file agrees with counting and fencing it");
}

std::vector<std::string_view> pieces(std::string_view input) {
    std::vector<std::string_view> out;
    while (out.size() < 9) {
        const std::size_t end = input.find('\xFF');
        out.push_back(input.substr(0, end));
        if (end == std::string_view::npos) break;
        input.remove_prefix(end + 1);
    }
    return out;
}

// Tags that sit right after a fence: one a combining mark that would join its last backtick.
constexpr std::string_view tags[] = {"", "cpp", "\u0301", "\u00e9"};

// The document adds up the bodies' own counts and counts only its framing: the sum must be
// ICU's count of the whole document, and the packed result's estimate a quarter of it.
void checkDocument(const std::vector<std::string_view>& parts) {
    const std::string title = Text::validUtf8(parts.front());
    std::vector<Pack::DocumentEntry> entries;
    std::vector<Collect::CollectedFile> files;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (!Fuzz::isStrictUtf8(parts[i])) continue;
        Pack::DocumentEntry& entry = entries.emplace_back();
        entry.span = "src/f" + std::to_string(i) + ".md";
        entry.body = parts[i];
        entry.characters = Collect::measure(entry.body).characters;
        entry.fence = Pack::fence(entry.body);
        entry.tag = tags[i % std::size(tags)];
        files.emplace_back("/r/f" + std::to_string(i) + ".txt", std::string(parts[i]));
    }
    const Pack::Document document = Pack::writeDocument(title, entries);
    require(document.characters == icuCount(document.markdown),
            "the document's count equals ICU's over the whole document");

    const PackResult packed = Pack::build(files, "/r", {}, title);
    require(packed.tokenEstimate == referenceTokens(icuCount(packed.markdown)),
            "the packed estimate is a quarter of ICU's count of the document, at least 1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = Fuzz::bytesOf(data, size);
    if (!Fuzz::isStrictUtf8(input)) {
        // Never the engine's input (it keeps only valid text), but it must not crash on it.
        (void)Pack::fence(input);
        (void)Collect::measure(input);
    }
    const std::vector<std::string_view> parts = pieces(input);
    for (const std::string_view part : parts)
        if (Fuzz::isStrictUtf8(part)) checkText(part);
    checkDocument(parts);
    return 0;
}
