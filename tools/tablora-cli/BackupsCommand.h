// tablora-cli backups: the backups a directory holds, newest first, each judged whole or not
// from its files without reading a row (BackupContents.h); with --verify each read back whole,
// its rows per table counted and compared with the backup made before it.
#pragma once

#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/RunSummary.h"

#include <ostream>

namespace cli {

// 0 when every backup found is whole, 1 when one is not, none was found or (--verify) a table
// lost half its rows or more or went missing against the previous backup, 3 when the
// directory cannot be listed. Ends with `summary`, filled in.
int RunBackupsCommand(const TCliOptions& o, std::ostream& out, TRunSummary& summary);

} // namespace cli
