// Version order: a strict order (irreflexive, asymmetric, transitive) that agrees with the
// rules written out again here, apart from the engine: split at ".", drop empty pieces, read
// each piece as an optional sign and one or more ASCII digits within 64 bits (anything else
// is 0), and compare piece by piece with missing pieces as 0.
//
// Input: up to three versions, one a line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "property.h"
#include "tessaly/updater.h"

using namespace tessaly;

namespace {

using Fuzz::require;

std::int64_t referencePiece(std::string_view piece) {
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    if (piece.empty()) return 0;
    // The magnitude, which for a negative number may be one more than the largest positive.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    for (const char c : piece) {
        if (c < '0' || c > '9') return 0;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (limit - digit) / 10) return 0;
        magnitude = magnitude * 10 + digit;
    }
    if (!negative) return static_cast<std::int64_t>(magnitude);
    return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                              : -static_cast<std::int64_t>(magnitude);
}

std::vector<std::int64_t> referencePieces(std::string_view version) {
    std::vector<std::int64_t> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= version.size(); ++i) {
        if (i < version.size() && version[i] != '.') continue;
        if (i > start) out.push_back(referencePiece(version.substr(start, i - start)));
        start = i + 1;
    }
    return out;
}

bool referenceNewer(std::string_view candidate, std::string_view current) {
    const std::vector<std::int64_t> a = referencePieces(candidate);
    const std::vector<std::int64_t> b = referencePieces(current);
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::int64_t x = i < a.size() ? a[i] : 0;
        const std::int64_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x > y;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [a, rest] = Fuzz::splitAt(Fuzz::bytesOf(data, size), '\n');
    const auto [b, c] = Fuzz::splitAt(rest, '\n');
    const std::string_view versions[] = {a, b, c};
    for (const std::string_view x : versions) {
        require(!Updater::isNewer(x, x), "no version is newer than itself");
        for (const std::string_view y : versions) {
            const bool newer = Updater::isNewer(x, y);
            require(newer == referenceNewer(x, y), "the order follows the written rules");
            require(!(newer && Updater::isNewer(y, x)), "never both newer than the other");
        }
    }
    if (Updater::isNewer(a, b) && Updater::isNewer(b, c))
        require(Updater::isNewer(a, c), "newer than a newer version is newer still");
    return 0;
}
