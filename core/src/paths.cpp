#include <string>

#include "rel_paths.h"
#include "tessaly/pack.h"
#include "text.h"

namespace tessaly {

namespace Pack {
namespace {

// True when standardized() would return the path unchanged: no empty, "." or ".."
// component and no trailing "/".
bool isStandard(std::string_view path) {
    if (path.empty() || (path.size() > 1 && path.back() == '/')) return false;
    std::size_t start = path.front() == '/' ? 1 : 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == ".." || (part.empty() && path.size() > 1)) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::filesystem::path standardized(const std::filesystem::path& path) {
    std::string s = path.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

RelPaths::RelPaths(const std::filesystem::path& root) {
    const std::string rootPath = standardized(root).string();
    // Below "/" every path is inside the root: keep it whole rather than fall back to the
    // bare name, so same-named files from different places stay apart.
    prefix_ = rootPath == "/" ? "/" : rootPath + "/";
}

std::string RelPaths::of(std::string_view file) const {
    // A path the walk built from a tidy input is tidy already: no need to take it apart.
    const std::string filePath = isStandard(file) ? std::string(file) : standardized(file).string();
    if (filePath.size() > prefix_.size() && filePath.compare(0, prefix_.size(), prefix_) == 0)
        return Text::validUtf8(std::string_view(filePath).substr(prefix_.size()));
    return Text::validUtf8(Text::lastComponent(filePath));
}

std::string relPath(const std::filesystem::path& file, const std::filesystem::path& root) {
    return RelPaths(root).of(file.native());
}

int rank(std::string_view rel) {
    if (Text::lowercase(Text::lastComponent(rel)).starts_with("readme")) return 0;
    return rel.find('/') == std::string_view::npos ? 1 : 2;
}

}  // namespace Pack

}  // namespace tessaly
