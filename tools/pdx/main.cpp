// pdx: inspects Paradox tables from the command line (info, dump, verify, ...).
#include "platform/rtl/ProgramStart.h"
#include "tools/pdx/CommandRegistry.h"

#include <iostream>

int main(int argc, char** argv) {
    rtl::UseBinaryStandardStreams();
    std::ios::sync_with_stdio(false);
    pdx::TCommandRegistry registry;
    pdx::RegisterReadCommands(registry);
    pdx::RegisterWriteCommands(registry);
    pdx::RegisterRowCommands(registry);
    pdx::RegisterRebuildCommand(registry);
    return registry.Run(rtl::ProgramArguments(argc, argv), std::cout, std::cerr);
}
