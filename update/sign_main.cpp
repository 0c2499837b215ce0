#include <iostream>
#include <variant>

#include "sign_command.h"

int main(int argc, char** argv) {
    using namespace tessaly;
    const auto parsed = SignTool::parseArguments(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    return SignTool::run(std::get<SignTool::Command>(parsed), std::cout, std::cerr);
}
