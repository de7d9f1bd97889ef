// Runs one tablora-cli command through the same module operations as the window.
#pragma once

#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/ExitCodes.h"

#include <ostream>

namespace cli {

// Prints results (text, or JSON with --json) and the run's summary to `out`; messages and
// errors go to stderr. Returns the exit code (ExitCodes.h).
int RunCli(const TCliOptions& options, std::ostream& out);

// The start of every command's JSON result: the command, its result in words and its exit code.
tools::TJson JsonResult(const std::string& command, int code);

} // namespace cli
