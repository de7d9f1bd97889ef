// tablora-cli backups: the backups a directory holds, newest first, each read back (an
// archive's every entry against its CRC, a directory's tables through their block chains).
#pragma once

#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/RunSummary.h"

#include <ostream>

namespace cli {

// 0 when every backup found reads back whole, 1 when one does not or none was found, 3 when
// the directory cannot be listed. Ends with `summary`, filled in.
int RunBackupsCommand(const CliOptions& o, std::ostream& out, TRunSummary& summary);

} // namespace cli
