#pragma once
// Failures of system calls, told the one way: the operation, the object and the system's
// reason, as in "open(/x/y): Permission denied".

#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

namespace tessaly::System {

// "operation(object): reason".
std::string errorText(std::string_view operation, std::string_view object, int error = errno);

// A std::system_error whose what() is errorText's and whose code() is `error`.
std::system_error systemError(std::string_view operation, std::string_view object,
                              int error = errno);

[[noreturn]] void throwSystem(std::string_view operation, std::string_view object,
                              int error = errno);

}  // namespace tessaly::System
