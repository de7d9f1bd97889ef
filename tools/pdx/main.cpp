// pdx: inspects Paradox tables from the command line (info, dump, verify, ...).
#include "tools/pdx/CommandRegistry.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    pdx::TCommandRegistry registry;
    pdx::RegisterReadCommands(registry);
    pdx::RegisterWriteCommands(registry);
    pdx::RegisterRowCommands(registry);
    pdx::RegisterRebuildCommand(registry);
    return registry.Run(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
