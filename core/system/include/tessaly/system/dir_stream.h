#pragma once
// Owner of an open directory stream.

#include <dirent.h>

#include <memory>
#include <string>
#include <string_view>

namespace tessaly::System {

struct DirClose {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
using DirStream = std::unique_ptr<DIR, DirClose>;

// `folder/name` as a path would join them, without taking either apart.
std::string joinPath(std::string_view folder, std::string_view name);

}  // namespace tessaly::System
