#include "tessaly/update_error.h"

namespace tessaly {

UpdateFailure::UpdateFailure(UpdateError error, const std::string& detail)
    : std::runtime_error(std::string(describe(error)) + ": " + detail),
      error_(error),
      detail_(detail) {}

const char* describe(UpdateError error) {
    switch (error) {
        case UpdateError::download:
            return "download failed";
        case UpdateError::unpack:
            return "unpacking failed";
        case UpdateError::notFound:
            return "no application in the update";
        case UpdateError::badSignature:
            return "bad signature";
        case UpdateError::readOnlyLocation:
            return "the application's folder is read-only";
    }
    return "update failed";
}

}  // namespace tessaly
