// The tag after a fence's backticks, for any path: at most 64 bytes of valid UTF-8 with nothing
// that could end, break or hide in the fence line (whitespace, a control, format, unassigned or
// private character, a backtick, a leading mark to join the last backtick). It depends only on
// the last name, and for ASCII names not on case.

#include <unicode/uchar.h>

#include "property.h"
#include "tessaly/pack.h"

using namespace tessaly;
using Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path(Fuzz::bytesOf(data, size));
    const std::string tag = Pack::language(path);
    const auto isClean = [&] {
        if (tag.size() > 64 || !Fuzz::isUtf8(tag)) return false;
        for (std::int32_t i = 0, length = std::ssize(tag); i < length;) {
            const std::uint32_t marks = i == 0 ? U_GC_M_MASK : 0;
            UChar32 c = 0;
            U8_NEXT(tag.data(), i, length, c);
            if (c == '`' || u_isUWhiteSpace(c) ||
                (U_GET_GC_MASK(c) & (U_GC_C_MASK | U_GC_Z_MASK | marks)))
                return false;
        }
        return true;
    };
    require(isClean(), "a tag is short and holds nothing that breaks or hides in the fence line");
    require(Pack::language("dir/" + path) == tag, "the tag depends only on the last name");
    if (std::any_of(path.begin(), path.end(), [](unsigned char c) { return c >= 0x80; })) return 0;
    for (char& c : path)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    require(Pack::language(path) == tag, "an ASCII name's case does not matter");
    return 0;
}
