#pragma once
// The ways an update can fail that the installer reports as its own. Failures of the
// transport or the file system travel as their own exceptions.

#include <stdexcept>
#include <string>

namespace tessaly {

enum class UpdateError { download, unpack, notFound, badSignature, readOnlyLocation };

class UpdateFailure : public std::runtime_error {
  public:
    UpdateFailure(UpdateError error, const std::string& detail);

    UpdateError error() const { return error_; }
    const std::string& detail() const { return detail_; }

  private:
    UpdateError error_;
    std::string detail_;
};

// A short lower-case name of the error ("bad signature"), for messages.
const char* describe(UpdateError error);

}  // namespace tessaly
