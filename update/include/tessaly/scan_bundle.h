#pragma once
// Listing what a bundle holds, for signing it or for checking it against its signed list.

#include <filesystem>
#include <stdexcept>
#include <string>

#include "tessaly/signed_list.h"

namespace tessaly {

namespace Update {

// A bundle that cannot be signed as it stands: it is not a folder, or it holds a fifo, a
// socket, a device, a link that could lead out of it, or folders nested absurdly deep.
class UnsignableBundle : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Every folder, file and link below `bundle` except its signature file, sorted, with `team`
// and `version` as given. Walks without following any link, the bundle itself included, and
// hashes files in pieces. Throws UnsignableBundle, or std::system_error when the file system
// fails.
SignedList scanBundle(const std::filesystem::path& bundle, std::string team, std::string version);

}  // namespace Update

}  // namespace tessaly
