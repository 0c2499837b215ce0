#include <variant>

#include "cli_options.h"
#include "run_pack.h"

int main(int argc, char** argv) {
    using namespace tessaly;
    const Cli::Parsed parsed = Cli::parseArguments(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    return Cli::runPack(std::get<Cli::Options>(parsed));
}
