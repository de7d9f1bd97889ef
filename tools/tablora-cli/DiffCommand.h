// tablora-cli diff, and restore --dry-run: what a restore from a backup would change in the
// database, table by table (database/BackupDiff.h), printed; nothing is written, locked for
// writing or completed in the database or the backup.
#pragma once

#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/RunSummary.h"

#include <ostream>

namespace cli {

// 0 when a restore would change no row, 1 when it would (or a table or the archive could not
// be read whole), 3 when nothing could be compared. Ends with `summary`, filled in.
int RunDiffCommand(const TCliOptions& o, std::ostream& out, TRunSummary& summary);

} // namespace cli
