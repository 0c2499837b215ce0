#pragma once

#include <stdexcept>
#include <string>

// The installer's own failures.
enum class UpdateError { download, unpack, notFound, badSignature, readOnlyLocation };

// Thrown by the installer for its own failures; other failures travel as their own exceptions.
class UpdateFailure : public std::runtime_error {
  public:
    UpdateFailure(UpdateError error, const std::string& detail)
        : std::runtime_error(detail), error_(error) {}
    UpdateError error() const { return error_; }

  private:
    UpdateError error_;
};
