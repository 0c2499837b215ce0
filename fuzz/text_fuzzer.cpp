// Which bytes the engine keeps as text: exactly those that are well-formed UTF-8 with no NUL
// among the first Collect::sniffLength bytes, judged against a validator written apart from
// the engine's. Names are repaired into valid UTF-8 and valid ones are left alone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "property.h"
#include "strict_utf8.h"
#include "tessaly/collect.h"
#include "text.h"

using namespace tessaly;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using Fuzz::require;
    const std::string_view bytes = Fuzz::bytesOf(data, size);
    const bool wellFormed = Fuzz::isStrictUtf8(bytes);
    require(Text::isValidUtf8(bytes) == wellFormed,
            "the engine's UTF-8 check agrees with a strict validator");

    const bool nulInSniff =
        bytes.substr(0, Collect::sniffLength).find('\0') != std::string_view::npos;
    const bool text = Collect::isText(bytes);
    if (text) {
        require(wellFormed, "text is well-formed UTF-8");
        require(!nulInSniff, "text has no NUL in the sniffed bytes");
    }
    require(text == (wellFormed && !nulInSniff),
            "well-formed UTF-8 without a NUL in the sniffed bytes is text");

    const std::string repaired = Text::validUtf8(bytes);
    require(Fuzz::isStrictUtf8(repaired), "a repaired name is well-formed UTF-8");
    if (wellFormed) require(repaired == bytes, "a valid name is left as it is");
    return 0;
}
