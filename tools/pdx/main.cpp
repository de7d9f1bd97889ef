// pdx: inspects Paradox tables from the command line (info, dump, verify, ...).
#include "platform/rtl/ProgramStart.h"
#include "tools/pdx/CommandRegistry.h"

#include <iostream>

int main(int argc, char** argv) {
    // Unsynchronised streams get buffers of their own: ours (a Windows console's) come after.
    std::ios::sync_with_stdio(false);
    rtl::UseBinaryStandardStreams();
    pdx::TCommandRegistry registry;
    pdx::RegisterReadCommands(registry);
    pdx::RegisterWriteCommands(registry);
    pdx::RegisterRowCommands(registry);
    pdx::RegisterRebuildCommand(registry);
    return registry.Run(rtl::ProgramArguments(argc, argv), std::cout, std::cerr);
}
