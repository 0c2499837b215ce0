// The tag after a fence's backticks, for any path: valid UTF-8 with nothing that could end or
// split the fence line (a backtick, a control character, a space). It depends only on the last
// name, and for ASCII names not on case.

#include <unicode/uchar.h>

#include "property.h"
#include "tessaly/pack.h"

using namespace tessaly;
using Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path(Fuzz::bytesOf(data, size));
    const std::string tag = Pack::language(path);
    const auto isClean = [&] {
        if (!Fuzz::isUtf8(tag)) return false;
        for (std::int32_t i = 0, length = std::ssize(tag); i < length;) {
            UChar32 c = 0;
            U8_NEXT(tag.data(), i, length, c);
            if (c == '`' || (U_GET_GC_MASK(c) & (U_GC_CC_MASK | U_GC_ZS_MASK))) return false;
        }
        return true;
    };
    require(isClean(), "a tag holds nothing that ends or splits the fence line");
    require(Pack::language("dir/" + path) == tag, "the tag depends only on the last name");
    if (std::any_of(path.begin(), path.end(), [](unsigned char c) { return c >= 0x80; })) return 0;
    for (char& c : path)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    require(Pack::language(path) == tag, "an ASCII name's case does not matter");
    return 0;
}
