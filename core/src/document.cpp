#include "document.h"

#include "huge_pages.h"
#include "text.h"

namespace tessaly {

namespace Pack {
namespace {

// Lays the pieces out in order. Measuring passes a null `out` and only adds up sizes;
// writing appends, and counts characters where a body's own count does not answer.
class Layout {
  public:
    explicit Layout(std::string* out) : out_(out) {}

    std::size_t size() const { return size_; }
    std::int64_t characters() const { return characters_; }

    void write(std::string_view title, const std::vector<DocumentEntry>& entries) {
        std::size_t mark = size_;
        put("# Context: ");
        put(title);
        put("\n\n## Files (");
        put(std::to_string(entries.size()));
        put(")\n\n");
        for (const DocumentEntry& e : entries) {
            put("- ");
            put(e.span);
            put("\n");
        }
        put("\n---\n\n");
        countSince(mark);
        for (const DocumentEntry& e : entries) {
            mark = size_;
            put("## ");
            put(e.span);
            put("\n\n");
            put(e.fence);
            put(e.tag);
            put("\n");
            countSince(mark);  // ends in a line feed: the body starts a new character
            // Read before the body's bytes may be let go of.
            const bool addLineFeed = e.body.empty() || e.body.back() != '\n';
            const bool endsInCr = !e.body.empty() && e.body.back() == '\r';
            put(e.body);
            if (out_ && e.owner) e.owner->release();  // in the document now
            characters_ += e.characters;
            if (addLineFeed) {
                put("\n");
                // A body ending in CR and the line feed added after it make one CR LF.
                if (!endsInCr) ++characters_;
            }
            put(e.fence);
            put("\n\n");
            characters_ += static_cast<std::int64_t>(e.fence.size()) + 2;
        }
    }

  private:
    void put(std::string_view piece) {
        size_ += piece.size();
        if (out_) out_->append(piece);
    }

    // Framing always ends in a line feed, after which a new character always starts.
    void countSince(std::size_t mark) {
        if (out_) characters_ += Text::countGraphemes(std::string_view(*out_).substr(mark));
    }

    std::string* out_;
    std::size_t size_ = 0;
    std::int64_t characters_ = 0;
};

}  // namespace

Document writeDocument(std::string_view title, const std::vector<DocumentEntry>& entries) {
    Layout measure(nullptr);
    measure.write(title, entries);
    Document document;
    document.markdown.reserve(measure.size());
    HugePages::advise(document.markdown.data(), document.markdown.capacity());
    Layout layout(&document.markdown);
    layout.write(title, entries);
    document.characters = layout.characters();
    return document;
}

std::int64_t tokensForCharacters(std::int64_t characters) {
    return characters > 3 ? characters / 4 : 1;
}

}  // namespace Pack

}  // namespace tessaly
