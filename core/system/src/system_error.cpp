#include "tessaly/system/system_error.h"

#include <cstring>

namespace tessaly::System {

std::string errorText(std::string_view operation, std::string_view object, int error) {
    std::string text(operation);
    text += '(';
    text += object;
    text += "): ";
    text += std::generic_category().message(error);
    return text;
}

std::system_error systemError(std::string_view operation, std::string_view object, int error) {
    std::string what(operation);
    what += '(';
    what += object;
    what += ')';
    return std::system_error(error, std::generic_category(), what);
}

void throwSystem(std::string_view operation, std::string_view object, int error) {
    throw systemError(operation, object, error);
}

}  // namespace tessaly::System
