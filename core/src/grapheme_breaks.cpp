#include "grapheme_breaks.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

namespace tessaly {

struct GraphemeBreaks::State {
    std::unique_ptr<icu::BreakIterator> iterator;
    UText* text = nullptr;
};

GraphemeBreaks& GraphemeBreaks::forThisThread() {
    thread_local GraphemeBreaks breaks;
    return breaks;
}

GraphemeBreaks::GraphemeBreaks() : state_(std::make_unique<State>()) {
    UErrorCode status = U_ZERO_ERROR;
    state_->iterator.reset(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) state_->iterator.reset();
}

GraphemeBreaks::~GraphemeBreaks() {
    detach();
}

bool GraphemeBreaks::attach(std::string_view utf8) {
    if (!state_->iterator) return false;
    UErrorCode status = U_ZERO_ERROR;
    state_->text =
        utext_openUTF8(state_->text, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (U_FAILURE(status)) return false;
    state_->iterator->setText(state_->text, status);
    if (U_FAILURE(status)) return false;
    state_->iterator->first();
    return true;
}

std::int32_t GraphemeBreaks::next() {
    const std::int32_t boundary = state_->iterator->next();
    return boundary == icu::BreakIterator::DONE ? -1 : boundary;
}

// The iterator keeps a reference to the caller's bytes; let go of it.
void GraphemeBreaks::detach() {
    if (state_->iterator) state_->iterator->setText(icu::UnicodeString());
    if (state_->text) {
        utext_close(state_->text);
        state_->text = nullptr;
    }
}

}  // namespace tessaly
