// tablora-cli check: the health report of the database, printed; nothing in the database
// directory is opened for writing, locked or completed.
#pragma once

#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/RunSummary.h"

#include <ostream>
#include <string>

namespace cli {

// Prints the report (text, or JSON with --json) and `summary` to `out`; errors go to stderr.
// Exit codes as RunCli's: done when every table checked is healthy, problem when any is not.
int RunCheck(const TCliOptions& options, std::ostream& out, TRunSummary& summary);

// The database directory of --dir or --alias, for commands that only read: the alias is read
// from the engine's configuration file only, never through a session (which would complete
// journals).
std::string SourceDirectory(const TCliOptions& o);

} // namespace cli
