#pragma once
// What every front end does with a list of inputs: pick the root and the title, collect,
// build.
//
// Errors in the engine (collection, building, this): a problem with one input or file is
// never an error but a skipped line or a silent drop, and nothing here throws for it.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tessaly/collect.h"
#include "tessaly/pack_result.h"

namespace tessaly {

namespace Pack {

struct PackedInputs {
    std::filesystem::path root;
    std::string title;
    PackResult result;
    std::vector<Collect::InputProblem> problems;  // inputs that could not be opened
};

// The folder the document's paths are taken against. Requires a non-empty list.
std::filesystem::path commonRoot(const std::vector<std::filesystem::path>& inputs);

// One input's name, or "N items". Always valid UTF-8.
std::string titleFor(const std::vector<std::filesystem::path>& inputs);

// Root, collection, title and document for absolute inputs. A given title replaces the
// usual one. An input met again is not walked again. Throws what Collect::files throws.
[[nodiscard]] PackedInputs packInputs(const std::vector<std::filesystem::path>& inputs,
                                      std::optional<std::string> title = std::nullopt,
                                      const Collect::Options& options = {});

}  // namespace Pack

}  // namespace tessaly
