// Runs pdx through its command registry, as the program does, and keeps what it printed.
#pragma once

#include "tools/pdx/CommandRegistry.h"

#include <sstream>
#include <string>
#include <vector>

namespace test {

struct TPdxResult {
    int code;
    std::string out;
    std::string err;
};

inline TPdxResult Pdx(std::vector<std::string> args) {
    pdx::TCommandRegistry registry;
    pdx::RegisterReadCommands(registry);
    pdx::RegisterWriteCommands(registry);
    pdx::RegisterRowCommands(registry);
    pdx::RegisterRebuildCommand(registry);
    args.insert(args.begin(), "pdx");
    std::ostringstream out, err;
    const int code = registry.Run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace test
