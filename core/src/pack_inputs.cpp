#include "tessaly/pack_inputs.h"

#include <sys/stat.h>

#include <algorithm>

#include "tessaly/pack.h"
#include "text.h"

namespace tessaly {

namespace Pack {
namespace {

namespace fs = std::filesystem;

bool isDirectory(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Components of the input's parent folder, "." and ".." resolved; the first is "/".
std::vector<std::string> parentComponents(const fs::path& input) {
    std::vector<std::string> parts;
    for (const fs::path& part : standardized(input).parent_path())
        if (!part.empty()) parts.push_back(part.string());
    return parts;
}

}  // namespace

fs::path commonRoot(const std::vector<fs::path>& inputs) {
    if (inputs.empty()) return "/";
    if (inputs.size() == 1) {
        const fs::path input = standardized(inputs.front());
        return isDirectory(input) ? input : input.parent_path();
    }
    std::vector<std::string> common = parentComponents(inputs.front());
    for (std::size_t i = 1; i < inputs.size(); ++i) {
        const std::vector<std::string> parts = parentComponents(inputs[i]);
        const auto mismatch =
            std::mismatch(common.begin(), common.end(), parts.begin(), parts.end());
        common.erase(mismatch.first, common.end());
    }
    std::string root;
    for (std::size_t i = 1; i < common.size(); ++i)
        root += "/" + common[i];
    return root.empty() ? fs::path("/") : fs::path(root);
}

std::string titleFor(const std::vector<fs::path>& inputs) {
    if (inputs.size() == 1) return Text::validUtf8(Text::lastComponent(inputs.front().string()));
    return std::to_string(inputs.size()) + " items";
}

PackedInputs packInputs(const std::vector<fs::path>& inputs, std::optional<std::string> title,
                        const Collect::Options& options) {
    PackedInputs packed;
    packed.root = commonRoot(inputs);
    Collect::Options collecting = options;
    // The document holds each content once.
    collecting.dropRepeatedBytes = true;
    collecting.foldRepeatedInputs = true;
    if (collecting.excludesBase.empty()) collecting.excludesBase = packed.root.native();
    Collect::Collected collected = Collect::files(inputs, collecting);
    packed.title = title ? Text::validUtf8(*title) : titleFor(inputs);
    packed.result =
        build(std::move(collected.files), packed.root, std::move(collected.skipped), packed.title);
    packed.result.duplicates += collected.repeated;  // each a copy of a file already packed
    packed.result.ignored = collected.ignored;
    packed.problems = std::move(collected.problems);
    return packed;
}

}  // namespace Pack

}  // namespace tessaly
