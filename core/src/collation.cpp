#include "collation.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstring>
#include <memory>

#include "tessaly/pack.h"

namespace tessaly {

namespace Pack {
namespace {

struct CollatorClose {
    void operator()(UCollator* c) const noexcept { ucol_close(c); }
};
using Collator = std::unique_ptr<UCollator, CollatorClose>;

// The user's locale; the C/POSIX locale gets the root order, since its tailoring sorts by
// code point and would put Zeta before alpha.
const char* collationLocale() {
    const char* name = uloc_getDefault();
    if (!name || std::strcmp(name, "en_US_POSIX") == 0 || std::strcmp(name, "c") == 0) return "";
    return name;
}

Collator openNaturalCollator() {
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open(collationLocale(), &status));
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator.reset(ucol_open("", &status));
    }
    if (!collator || U_FAILURE(status)) return nullptr;
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setStrength(collator.get(), UCOL_SECONDARY);  // accents count, case does not
    return collator;
}

// Comparing with a shared collator is safe across threads; its attributes never change.
const UCollator* naturalCollator() {
    static const Collator collator = openNaturalCollator();
    return collator.get();
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
    const UCollator* collator = naturalCollator();
    if (!collator) return a < b;
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = ucol_strcollUTF8(collator, a.data(), static_cast<int32_t>(a.size()),
                                                b.data(), static_cast<int32_t>(b.size()), &status);
    return U_SUCCESS(status) ? r == UCOL_LESS : a < b;
}

}  // namespace Pack

}  // namespace tessaly
