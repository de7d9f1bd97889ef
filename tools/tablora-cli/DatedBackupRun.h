// A backup under a dated name and the rotation after it: the name's date fields filled in
// from the clock, and with --keep N the older backups of the same pattern deleted, but only
// once the new backup was written and read back whole.
#pragma once

#include "database/BackupContents.h"
#include "database/DatedBackups.h"
#include "platform/tutil/RebuildReport.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliOptions.h"

#include <ostream>
#include <string>
#include <vector>

namespace cli {

struct TDatedBackupRun {
    std::string target;      // the backup's path, date fields filled in
    bool dated = false;      // the name held date fields
    bool rotating = false;   // --keep was given
    bool rotated = false;    // the rotation ran
    std::string notRotated;  // why it did not, when the run got that far
    bool readBack = false;   // a directory backup was read back
    database::TBackupContents contents;
    database::TRotation rotation;
    // A rotation that could not do all it should: the caller ends with "problem".
    bool Problem() const { return rotating && (!notRotated.empty() || !rotation.NotDeleted.empty()); }
};

// The target of `o` (backup --to-zip or --to-dir) with its date fields filled in from rtl::Now().
TDatedBackupRun StartDatedBackup(const TCliOptions& o);

// With --keep: reads a directory backup back, and when `backupSound` (the backup was
// written, an archive verified, nothing reported) and it reads back whole, rotates.
void FinishDatedBackup(const TCliOptions& o, bool backupSound, TDatedBackupRun& run);

void PrintDatedBackup(std::ostream& out, const TDatedBackupRun& run);
// Adds the backup's members to the open result object.
void WriteDatedBackupJson(tools::TJson& json, const TDatedBackupRun& run);

// check-damage --keep-backups N: per table rebuilt, the older runs' directories deleted.
struct TCompanionPruning {
    std::string table;
    database::TRotation rotation;
    std::string error;  // why the directories could not be looked at
};
std::vector<TCompanionPruning> PruneCompanions(const TCliOptions& o, const std::vector<tutil::TRebuildReport>& rebuilds);
bool PruningProblem(const std::vector<TCompanionPruning>& pruned);
void PrintCompanionPruning(std::ostream& out, const std::vector<TCompanionPruning>& pruned);
void WriteCompanionPruningJson(tools::TJson& json, const std::vector<TCompanionPruning>& pruned);

} // namespace cli
