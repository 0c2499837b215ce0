#include "document.h"
#include "tessaly/pack.h"
#include "text.h"

namespace tessaly {

namespace Pack {

std::int64_t estimateTokens(std::string_view text) {
    return tokensForCharacters(Text::countGraphemes(text));
}

}  // namespace Pack

}  // namespace tessaly
