#pragma once

#include <string_view>

#include "tessaly/file_facts.h"

namespace tessaly::Collect {

// Measures `bytes` whole: validity, digest, characters and backtick runs.
FileFacts measure(std::string_view bytes);

}  // namespace tessaly::Collect
