// Restoring tables from a backup as one change of the database. The tables to restore are
// chosen and checked before anything is touched: each must be whole in the backup, and each
// must stand for one live table (or none). Their files are then staged whole in a staging
// directory inside the database directory and swapped in together under one restore intent
// (RestoreIntent.h): a failure before the swap changes nothing, and a run killed during it is
// completed by the next.
#pragma once

#include "database/RestoreIntent.h"
#include "database/WholeTables.h"

#include <functional>
#include <string>
#include <vector>

namespace database {

// One file of a table to restore: its name in the backup and the live name it takes.
struct TPlannedFile {
    std::string BackupName;
    std::string LiveName;
    bool Replaces = false;  // a live file of that name is written over
};

struct TPlannedTable {
    std::string Table;                      // as the backup spells it
    std::string DataFile;                   // its live data file's name
    std::vector<TPlannedFile> Files;
    std::vector<std::string> LiveRemoved;   // live files of the table the backup does not bring
};

struct TRestorePlan {
    std::vector<TPlannedTable> Tables;
    // Live tables that differ from a restored one only in letter case: other tables, left.
    std::vector<std::string> OtherSpellingsKept;
};

// Plans the restore of the families of `backup` (those `only` names, or all) into the database
// directory. Raises rtl::EError, before anything is touched, when `only` names a table the
// backup does not hold, when a chosen table is not whole in it, or when it cannot be told which
// live table a restored one replaces. `memoNeed` reads a backup family's data file.
TRestorePlan PlanRestore(const std::string& databaseDirectory, const std::string& backupName,
                         const TBackupFamilies& backup, const std::vector<std::string>& only,
                         const std::function<TMemoNeed(const TTableFamily&)>& memoNeed);

// A staging directory inside the database directory for the files of one restore, removed
// with what is left in it when the restore ends, unless Keep() was called (a waiting intent
// names files in it). Its name matches no table file pattern. Raises rtl::EFileError, naming
// the database directory and the reason, when it cannot be made.
class TStagingDirectory {
public:
    explicit TStagingDirectory(const std::string& databaseDirectory);
    ~TStagingDirectory();
    TStagingDirectory(const TStagingDirectory&) = delete;
    TStagingDirectory& operator=(const TStagingDirectory&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& Name() const { return name_; }  // relative to the database directory
    void Keep() { keep_ = true; }

private:
    std::string name_;
    std::string path_;
    bool keep_ = false;
};

// Writes the file of `file` whole into the staging directory (with the owner and permissions of
// its live place) and returns its name there.
using TStageFile = std::function<std::string(const TPlannedFile& file, const std::string& livePath)>;

// Stages every file of `plan`, writes the intent and carries it out. Raises (the database
// unchanged, the staging directory removed with the caller's TStagingDirectory) when staging or
// writing the intent fails; after that the outcome tells what happened, and a staging
// directory that a waiting intent names is kept.
TIntentOutcome PutPlanInPlace(const std::string& databaseDirectory, TStagingDirectory& staging,
                              const std::string& backupName, const TRestorePlan& plan, const TStageFile& stage);

// Readies the database directory for a restore (the caller holds it and has completed what
// killed runs left): removes the temporary files and staging directories of restores that
// ended, unless an intent still waits for them.
void ClearEndedRestores(const std::string& databaseDirectory);

} // namespace database
