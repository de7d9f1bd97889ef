// What a backup holds and whether its tables can be put back whole, judged at two depths.
//
// Listed: from what the backup says of itself, no table's rows read. An archive's central
// directory (checked against each entry's local header) and the header of each data file; a
// directory's listing, the header of each data file and the record of its files that the
// backup wrote last (BackupManifest.h). Every table with its data file and the memo file its
// fields need (WholeTables.h), no file deleted, added or cut short since the backup.
//
// Read back: the same, and then every byte: an archive's every entry against its CRC, every
// table opened with the engine and read through its block chain with every memo value, its
// rows counted. Index files are no measure (a backup may leave them out), nor are faults of
// key order or counter that the database had when it was backed up and that a copy keeps.
#pragma once

#include "database/DatedBackups.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace database {

struct TTableRows {
    std::string Table;
    std::optional<std::uint64_t> Rows;  // nothing when the table could not be read
    std::vector<std::string> Problems;  // of this table, one line each
};

struct TBackupContents {
    std::vector<std::string> Tables;  // data file names without ".db", in name order
    std::uint64_t Bytes = 0;          // of the regular files in it (an archive: its own size)
    std::vector<std::string> Problems;  // one line each; empty: whole
    // A directory backup that holds no record of its files (one made before backups wrote
    // it): a table file deleted from it since cannot be told.
    bool Unrecorded = false;
    std::vector<TTableRows> Rows;  // read back only: one per table, in name order
    bool Whole() const { return Problems.empty() && !Tables.empty(); }
};

// The backup `b` listed (see above): its files looked at, no row read.
TBackupContents ListBackupContents(const TDatedBackup& b);

// The backup `b` read back whole. An archive's table files are unpacked into a temporary
// directory outside the database, one archive at a time, and removed afterwards.
TBackupContents ReadBackBackup(const TDatedBackup& b);

// The backup directory `directory` read back whole.
TBackupContents ReadBackBackupDirectory(const std::string& directory);

// Whether going from `before` rows to `after` is a loss to name: half the rows or more gone.
bool SuddenLoss(std::uint64_t before, std::uint64_t after);

} // namespace database
