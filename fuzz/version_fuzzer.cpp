// Version order: a strict order (irreflexive, asymmetric, transitive) that agrees with the rules
// written again apart from the engine: pieces between dots, empty ones dropped, each an optional
// sign and ASCII digits within 64 bits (else 0), compared in turn with missing pieces as 0.
// Input: up to three versions, one a line.

#include "property.h"
#include "tessaly/updater.h"

using namespace tessaly;
using Fuzz::require;

namespace {

std::int64_t referencePiece(std::string_view piece) {
    const bool negative = piece.starts_with('-');
    if (negative || piece.starts_with('+')) piece.remove_prefix(1);
    const std::uint64_t limit = (std::uint64_t{1} << 63) - (negative ? 0 : 1);  // of the magnitude
    std::uint64_t magnitude = 0;
    for (const char c : piece) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (c < '0' || c > '9' || magnitude > (limit - digit) / 10) return 0;
        magnitude = magnitude * 10 + digit;
    }
    return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
}

std::vector<std::int64_t> referencePieces(std::string_view rest) {
    std::vector<std::int64_t> pieces;
    for (std::string_view piece; !rest.empty();)
        if (std::tie(piece, rest) = Fuzz::splitAt(rest, '.'); !piece.empty())
            pieces.push_back(referencePiece(piece));
    return pieces;
}

bool referenceNewer(std::string_view candidate, std::string_view current) {
    std::vector<std::int64_t> a = referencePieces(candidate), b = referencePieces(current);
    a.resize(std::max(a.size(), b.size()));
    b.resize(a.size());
    return a > b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [a, rest] = Fuzz::splitAt(Fuzz::bytesOf(data, size), '\n');
    const auto [b, c] = Fuzz::splitAt(rest, '\n');
    for (const std::string_view x : {a, b, c})
        for (const std::string_view y : {a, b, c}) {
            const bool newer = Updater::isNewer(x, y);
            require(newer == referenceNewer(x, y),
                    "the order follows the rules, none above itself");
            require(!(newer && Updater::isNewer(y, x)), "never both newer than the other");
        }
    if (Updater::isNewer(a, b) && Updater::isNewer(b, c))
        require(Updater::isNewer(a, c), "newer than a newer version is newer still");
    return 0;
}
