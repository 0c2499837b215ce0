#include "tessaly/system/dir_stream.h"

namespace tessaly::System {

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

}  // namespace tessaly::System
