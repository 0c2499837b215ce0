// The token estimate and the fences take shortcuts (ASCII apart, line by line, each body counted
// alone and the counts added up): on valid UTF-8 they must agree with ICU's BreakIterator walking
// the whole text, the oracle whatever the engine counts with. The document fences each distinct
// valid body, once, with exactly that fence. Input: a title and up to eight bodies, separated by
// 0xFF (a byte no UTF-8 holds).

#include <unicode/brkiter.h>

#include <memory>

#include "property.h"
#include "tessaly/pack.h"

using namespace tessaly;
using Fuzz::require;

namespace {

// Where each user-perceived character of `utf8` starts, and the end.
std::vector<std::int32_t> clusterBounds(std::string_view utf8) {
    static UErrorCode status = U_ZERO_ERROR;
    static const std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText* text = utext_openUTF8(nullptr, utf8.data(), std::ssize(utf8), &status);
    iterator->setText(text, status);
    require(U_SUCCESS(status), "ICU walks the text");
    std::vector<std::int32_t> bounds;
    for (std::int32_t at = iterator->first(); at != icu::BreakIterator::DONE; at = iterator->next())
        bounds.push_back(at);
    utext_close(text);
    return bounds;
}

void checkBody(std::string_view body) {
    const std::vector<std::int32_t> bounds = clusterBounds(body);
    // A line feed always ends a character, so each one put ahead adds exactly one: four
    // estimates pin the count itself, not only its quarter.
    for (std::int64_t feeds = 0; feeds < 4; ++feeds)
        require(Pack::estimateTokens(std::string(feeds, '\n').append(body)) ==
                    std::max<std::int64_t>((std::ssize(bounds) - 1 + feeds) / 4, 1),
                "the token estimate is a quarter of ICU's count, at least 1");
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        run = bounds[i + 1] - bounds[i] == 1 && body[bounds[i]] == '`' ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    // A line that could close a fence by CommonMark's rule holds only spaces, tabs and backticks,
    // each a character of its own: so no line of the body closes a fence longer than every run.
    require(Pack::fence(body) == std::string(std::max<std::size_t>(longest + 1, 3), '`'),
            "the fence is one longer than the longest run of backtick characters, at least 3");
}

void checkDocument(const std::vector<std::string_view>& parts) {
    std::vector<Collect::CollectedFile> files;
    std::vector<std::string> blocks;  // of the kept bodies: the first of each content
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string name = "f" + std::to_string(i) + (i % 2 ? ".cpp" : ".md");
        const std::string body(parts[i]);
        files.push_back({.path = "/r/" + name, .data = body});
        if (!Fuzz::isUtf8(body) || std::find(&parts[1], &parts[i], body) != &parts[i]) continue;
        const std::string fence = Pack::fence(body);
        const char* feed = body.ends_with('\n') ? "" : "\n";
        blocks.push_back("\n" + fence + Pack::language(name) + "\n" + body + feed + fence + "\n\n");
    }
    const PackResult packed = Pack::build(files, "/r", {}, std::string(parts.front()));
    require(packed.tokenEstimate ==
                std::max<std::int64_t>((std::ssize(clusterBounds(packed.markdown)) - 1) / 4, 1),
            "the packed estimate is a quarter of ICU's count of the whole document, at least 1");
    require(packed.fileCount == std::ssize(blocks), "each distinct valid body is packed once");
    for (const std::string& block : blocks)
        require(packed.markdown.find(block) != std::string::npos,
                "each body stands in the document between its own fences");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> parts;  // the title, then the bodies
    std::string_view rest = Fuzz::bytesOf(data, size);
    do {
        const auto [part, more] = Fuzz::splitAt(rest, '\xFF');
        parts.push_back(part);
        rest = more;
    } while (!rest.empty() && parts.size() < 9);
    for (const std::string_view part : parts)
        if (Fuzz::isUtf8(part)) checkBody(part);
    checkDocument(parts);
    return 0;
}
