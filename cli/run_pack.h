#pragma once

#include "cli_options.h"

namespace tessaly {

namespace Cli {

inline constexpr int exitWriteFailed = 1;

// Packs the inputs, writes the document and the summary; returns the exit status.
int runPack(const Options& options);

}  // namespace Cli

}  // namespace tessaly
