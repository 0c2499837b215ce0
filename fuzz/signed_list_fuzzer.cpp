// A bundle's signed list has one text per list: whatever the parser accepts is exactly what the
// writer writes for the list it read, and reading that again gives the same list. So two
// different texts can never be taken for one signed content.

#include <optional>

#include "property.h"
#include "tessaly/signed_list.h"

using namespace tessaly;
using Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = Fuzz::bytesOf(data, size);
    const std::optional<Update::SignedList> list = Update::parseList(text);
    if (!list) return 0;
    const std::string written = Update::writeList(*list);
    require(written == text, "an accepted list is written back byte for byte");
    require(Update::parseList(written) == list, "a written list reads back as the same list");
    return 0;
}
