#pragma once
// SHA-256 of a file read in pieces, so release files of any size fit in memory.

#include <string>

#include "tessaly/signed_list.h"

namespace tessaly {

namespace Update {

// Reads `fd` from where it stands to its end. Throws std::system_error naming `name` when a
// read fails.
Sha256 sha256OfFile(int fd, const std::string& name);

}  // namespace Update

}  // namespace tessaly
