#include <variant>

#include "cli_options.h"
#include "run_pack.h"

int main(int argc, char** argv) {
    using namespace tessaly;
    const Cli::Parsed parsed = Cli::parseArguments(argc, argv);
    if (const auto* status = std::get_if<ExitStatus>(&parsed)) return static_cast<int>(*status);
    return static_cast<int>(Cli::runPack(std::get<Cli::Options>(parsed)));
}
