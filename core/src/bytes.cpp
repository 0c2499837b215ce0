#include "tessaly/bytes.h"

namespace tessaly {

Bytes::Bytes(std::string text) {
    auto owned = std::make_shared<const std::string>(std::move(text));
    view_ = *owned;
    owner_ = std::move(owned);
}

}  // namespace tessaly
