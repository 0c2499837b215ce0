#pragma once

#include <filesystem>

namespace tessaly {

namespace PrivateFolder {

// A folder only this user can enter, for sockets and work files: $XDG_RUNTIME_DIR when the
// session has one that is a real folder of the user's own with no access for others, else
// "orvane-tessaly" under the user's cache folder, made with mode 0700.
// Never the shared /tmp, where another user could plant a link under an expected name.
// Throws std::system_error when the folder cannot be made or is not the user's own.
std::filesystem::path path();

}  // namespace PrivateFolder

}  // namespace tessaly
