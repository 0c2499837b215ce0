#pragma once
// The texts a person reads about a result, shared by the window and the command line.

#include <cstdint>
#include <string>

#include "tessaly/pack_result.h"

namespace tessaly {

namespace Summary {

inline constexpr const char* sizeWarning = "Large — this may exceed some models' context windows.";

// "Packed N files ✓", or "No text files found" when nothing was kept.
std::string statusText(const PackResult& result);

// "1 duplicate removed · 2 skipped (binary/large) · 3 ignored"; empty when there is nothing
// to note.
std::string notesLine(const PackResult& result);

// "≈ 12,345": the estimate grouped for the user's locale.
std::string tokensFigure(std::int64_t tokenEstimate);

// A file size in decimal units with one decimal: "153 bytes", "13.8 kB", "1.2 MB".
std::string byteCountFigure(std::int64_t bytes);

}  // namespace Summary

}  // namespace tessaly
