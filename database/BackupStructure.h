// Where a table the damage check refuses for its header may take its structure from: its
// copy in a backup. Only that copy's header is read, never a row: from a directory backup
// the first bytes of the table's data file, from an archive the first bytes of its entry
// (read with the listing, nothing unpacked). The header is checked as strictly as a live one
// before it is offered; whether the damaged file's blocks fit it is the rebuild's to check.
#pragma once

#include "database/DatedBackups.h"
#include "rebuild/StructureSource.h"

#include <ctime>
#include <optional>
#include <string>

namespace database {

// What the damage check may do with a table it refuses for its header.
struct TStructureChoice {
    enum class TKind { None, Backup, NewestIn };
    TKind Kind = TKind::None;
    std::string Path;  // Backup: the backup (a directory or an archive); NewestIn: their directory
    bool Ask = false;  // ask the user before the structure is used
};

struct TBackupStructure {
    std::string BackupPath;
    std::string BackupName;
    std::time_t Time = 0;  // the backup's time, as the listing of backups gives it
    rebuild::TStructureSource Source;
};

// The backup at `path` as the listing of its directory gives it; raises rtl::EError when it
// is no backup (neither an archive nor a directory holding a table).
TDatedBackup BackupAt(const std::string& path);

// The structure of table `table` (a data file's name, ".db" optional) in the backup `b`;
// nothing, with `why`, when the backup cannot be read, holds no such table or no sound
// header of it.
std::optional<TBackupStructure> StructureInBackup(const TDatedBackup& b, const std::string& table, std::string& why);

// The structure `choice` gives for `table`: of its one backup, or of the newest whole backup
// in its directory whose copy of the table has a sound header; nothing, with `why`, when
// there is none.
std::optional<TBackupStructure> FindStructure(const TStructureChoice& choice, const std::string& table,
                                              std::string& why);

} // namespace database
