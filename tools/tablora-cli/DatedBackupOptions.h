// The options of dated backups and their rotation: backup --keep, backups --in/--pattern,
// check-damage --keep-backups.
#pragma once

#include "tools/tablora-cli/CliOptions.h"

#include <string>
#include <string_view>

namespace cli {

// The count `text` gives for `flag` (1 and up); raises EUsageError otherwise.
int CountOf(const std::string& text, std::string_view flag);

// Checks the dated-backup options of backup (the name's date fields); --keep implies --verify.
void CheckDatedBackupOptions(TCliOptions& o);

// Checks the options of "backups" (which needs no source database).
void CheckBackupsOptions(const TCliOptions& o);

} // namespace cli
