// What a restore from a backup (a directory or a zip archive made by a backup) would change in
// a database, table by table (TableDiff.h): nothing is written into either, no journal is
// completed, and an archive's tables are unpacked into a scratch directory of our own.
#pragma once

#include "database/TableDiff.h"

#include <cstdint>
#include <string>
#include <vector>

namespace database {

struct TBackupDiff {
    std::string Directory;  // the database's
    std::string Backup;     // the backup directory or archive
    std::vector<TTableDiff> Tables;  // in name order, letter case ignored
    std::vector<std::string> Problems;  // what was wrong with the backup as a whole

    std::uint64_t OnlyInLive() const;
    std::uint64_t OnlyInBackup() const;
    std::uint64_t Differ() const;
    bool Changes() const;  // a restore would change a row or a table
};

struct TBackupDiffRequest {
    std::string Directory;
    std::string BackupDirectory;  // one of these two
    std::string BackupZip;
    std::vector<std::string> Tables;  // only these (names without ".db"); empty: every table of either
    TTableDiffLimits Limits;
};

// Raises rtl::EError before comparing anything when a directory cannot be read, the archive
// cannot be listed, or `Tables` names a table neither side holds.
TBackupDiff DiffAgainstBackup(const TBackupDiffRequest& request);

} // namespace database
