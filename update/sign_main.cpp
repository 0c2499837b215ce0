#include <iostream>
#include <variant>

#include "sign_command.h"

int main(int argc, char** argv) {
    using namespace tessaly;
    const auto parsed = SignTool::parseArguments(argc, argv);
    if (const auto* status = std::get_if<ExitStatus>(&parsed)) return static_cast<int>(*status);
    return static_cast<int>(
        SignTool::run(std::get<SignTool::Command>(parsed), std::cout, std::cerr));
}
