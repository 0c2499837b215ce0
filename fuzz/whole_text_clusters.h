#pragma once
// User-perceived characters as ICU finds them walking a whole text at once, with none of the
// engine's shortcuts: the reference its counts and fences are held to.

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly {

namespace Fuzz {

class WholeTextClusters {
  public:
    WholeTextClusters() {
        UErrorCode status = U_ZERO_ERROR;
        iterator_.reset(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) std::abort();
    }

    // Each cluster of `utf8` as [start, end) byte offsets.
    std::vector<std::pair<std::size_t, std::size_t>> of(std::string_view utf8) {
        UErrorCode status = U_ZERO_ERROR;
        UText* text =
            utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
        iterator_->setText(text, status);
        if (U_FAILURE(status)) std::abort();
        std::vector<std::pair<std::size_t, std::size_t>> clusters;
        for (int32_t start = iterator_->first(), end = iterator_->next();
             end != icu::BreakIterator::DONE; start = end, end = iterator_->next())
            clusters.emplace_back(start, end);
        iterator_->setText(icu::UnicodeString());
        utext_close(text);
        return clusters;
    }

  private:
    std::unique_ptr<icu::BreakIterator> iterator_;
};

}  // namespace Fuzz

}  // namespace tessaly
