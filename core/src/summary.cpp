#include "tessaly/summary.h"

#include <unicode/unum.h>
#include <unicode/ustring.h>

#include <array>
#include <memory>

namespace tessaly {

namespace Summary {
namespace {

struct NumberFormatClose {
    void operator()(UNumberFormat* f) const noexcept { unum_close(f); }
};
using NumberFormat = std::unique_ptr<UNumberFormat, NumberFormatClose>;

// A number in the user's locale with grouping and exactly `fractionDigits` decimals.
std::string localized(double value, int fractionDigits) {
    UErrorCode status = U_ZERO_ERROR;
    NumberFormat format(unum_open(UNUM_DECIMAL, nullptr, 0, nullptr, nullptr, &status));
    if (U_FAILURE(status)) return std::to_string(static_cast<long long>(value));
    unum_setAttribute(format.get(), UNUM_GROUPING_USED, 1);
    unum_setAttribute(format.get(), UNUM_MIN_FRACTION_DIGITS, fractionDigits);
    unum_setAttribute(format.get(), UNUM_MAX_FRACTION_DIGITS, fractionDigits);
    std::array<UChar, 64> utf16{};
    const int32_t length = unum_formatDouble(format.get(), value, utf16.data(),
                                             static_cast<int32_t>(utf16.size()), nullptr, &status);
    std::array<char, 256> utf8{};
    int32_t utf8Length = 0;
    u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &utf8Length, utf16.data(), length,
                &status);
    if (U_FAILURE(status)) return std::to_string(static_cast<long long>(value));
    return std::string(utf8.data(), static_cast<std::size_t>(utf8Length));
}

}  // namespace

std::string statusText(const PackResult& result) {
    if (result.fileCount == 0) return "No text files found";
    return "Packed " + std::to_string(result.fileCount) + " files ✓";
}

std::string notesLine(const PackResult& result) {
    std::string line;
    if (result.duplicates > 0) {
        line = std::to_string(result.duplicates) + " duplicate" +
               (result.duplicates == 1 ? "" : "s") + " removed";
    }
    if (!result.skipped.empty()) {
        if (!line.empty()) line += " · ";
        line += std::to_string(result.skipped.size()) + " skipped (binary/large)";
    }
    if (result.ignored > 0) {
        if (!line.empty()) line += " · ";
        line += std::to_string(result.ignored) + " ignored";
    }
    return line;
}

std::string tokensFigure(std::int64_t tokenEstimate) {
    return "≈ " + localized(static_cast<double>(tokenEstimate), 0);
}

std::string byteCountFigure(std::int64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr std::array<const char*, 6> units{"kB", "MB", "GB", "TB", "PB", "EB"};
    double scale = 1000;
    std::size_t unit = 0;
    // Choose the unit after rounding to tenths, so 999,960 bytes reads "1.0 MB", not "1,000.0 kB".
    while (unit + 1 < units.size() && bytes / scale >= 999.95) {
        scale *= 1000;
        ++unit;
    }
    return localized(bytes / scale, 1) + " " + units[unit];
}

}  // namespace Summary

}  // namespace tessaly
