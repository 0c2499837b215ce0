#include "tessaly/pack.h"
#include "tessaly/text.h"

namespace Pack {

std::int64_t estimateTokens(std::string_view text) {
    const std::int64_t characters = Text::countGraphemes(text);
    return characters > 3 ? characters / 4 : 1;
}

}  // namespace Pack
