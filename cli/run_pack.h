#pragma once

#include "cli_options.h"

namespace tessaly {

namespace Cli {

// Packs the inputs, writes the document and the summary.
[[nodiscard]] ExitStatus runPack(const Options& options);

}  // namespace Cli

}  // namespace tessaly
