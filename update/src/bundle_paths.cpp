#include "bundle_paths.h"

#include <cstddef>

namespace tessaly {

namespace Update::BundlePaths {
namespace {

// Calls `visit` with each "/"-separated name, empty ones included; stops when it returns false.
template <typename Visit>
bool eachName(std::string_view path, Visit visit) {
    while (true) {
        const std::size_t slash = path.find('/');
        if (!visit(path.substr(0, slash))) return false;
        if (slash == std::string_view::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

std::size_t folderDepth(std::string_view linkPath) {
    std::size_t depth = 0;
    for (const char c : linkPath)
        if (c == '/') ++depth;
    return depth;
}

}  // namespace

bool isPlainRelative(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return false;
    return eachName(
        path, [](std::string_view name) { return !name.empty() && name != "." && name != ".."; });
}

bool linkStaysInside(std::string_view linkPath, std::string_view target) {
    if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos)
        return false;
    std::size_t climbs = 0;
    bool descended = false;
    const bool ordered = eachName(target, [&](std::string_view name) {
        if (name.empty() || name == ".") return true;
        if (name != "..") {
            descended = true;
            return true;
        }
        ++climbs;
        return !descended;
    });
    return ordered && climbs <= folderDepth(linkPath);
}

}  // namespace Update::BundlePaths

}  // namespace tessaly
