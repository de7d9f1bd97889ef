// A health report of a database directory that changes nothing: every table read once as its
// files stand, with what the repair tools would find, and which tool would help.
//
// Nothing is opened through the engine's session or tables: they complete interrupted family
// changes and take locks that create files. The report reads bytes and lists names only; a
// journal left by an interrupted change is reported, not completed.
#pragma once

#include "database/KeyRepairReading.h"

#include <cstdint>
#include <string>
#include <vector>

namespace database {

struct TTableHealth {
    std::string Name;      // as spelled on disk, without ".db"
    std::string DataFile;  // file name of the data file
    std::string OpenError;  // why the data file could not be read at all ("" when it could)
    bool ReadRefused = false;  // ... because the file system refused it (rights, a lost share), not its bytes
    std::uint64_t RowsReadable = 0;  // through the block chain
    std::uint32_t RowsInHeader = 0;
    bool PasswordProtected = false;
    // Problems as `pdx verify` finds them: damage of the data and memo files, and the index
    // files' disagreements with the data (kept apart, as deleting or rebuilding them helps).
    std::vector<std::string> Damage;
    std::vector<std::string> IndexProblems;
    std::string KeyOrderNote;  // why the key order could not be checked ("" when it was)

    enum class TPrimaryIndex { Unkeyed, Agrees, Missing, Disagrees, NotChecked };
    TPrimaryIndex PrimaryIndex = TPrimaryIndex::NotChecked;

    // The autoincrement key: checked for tables whose primary key is their first field, an
    // autoincrement one, and for unkeyed tables whose first field is "IDXFIELD" (the key
    // repair indexes them before it appends).
    bool CounterChecked = false;
    bool KeyRepairFit = false;  // first field the autoincrement "IDXFIELD": the key repair's kind
    std::uint32_t Counter = 0;  // the header's: the last value handed out
    std::int64_t LargestKey = 0;
    bool NextKeyTaken = false;          // Counter + 1 is stored: the next append fails
    std::uint64_t KeysAboveCounter = 0;  // stored values later appends would meet
    std::uint64_t DuplicateKeys = 0;     // values stored more than once

    std::vector<std::string> CaseTwins;  // this table's file names that exist in another letter case
    std::vector<std::string> Leftovers;  // work files of interrupted repairs named after the table
    bool JournalPending = false;         // an interrupted change of the family waits to be completed
    std::string JournalRefused;          // ... and why the next writing run will not carry it out ("": it will)

    // The key repair's work table left by an interrupted run, weighed as the repair would
    // weigh it before deleting it (both read as they stand).
    std::string WorkTable;  // its file name; "" when there is none
    TRowsRead WorkTableRows, TableRows;
    TLeftoverVerdict WorkTableVerdict = TLeftoverVerdict::Deletable;

    bool CounterCollides() const { return NextKeyTaken || KeysAboveCounter > 0 || DuplicateKeys > 0; }
    // A reader gets less than half the rows the header counts (a cut file, a broken chain),
    // or none at all from a file that is no table any more: a backup may hold what the
    // rebuild cannot find.
    bool LostMostRows() const;
    bool Healthy() const;
};

// What the report advises, strongest first; each names the tables it concerns.
struct THealthAdvice {
    enum class TTool {
        CompleteInterruptedChanges,  // the next command that writes completes the journals that pass its checks
        StopOtherPrograms,           // Paradox lock files: stop the billing application before repairs
        KeyRepair,
        DamageCheck,
        Restore,
        FileAccess,  // the files could not be read: rights or the share, not damage
        InspectLeftovers,  // work tables of an interrupted key repair may hold the only copy of rows
        ResolveCaseTwins,  // one table in two letter cases: the tools take the one spelled as asked
        PasswordProtected,  // no tool reads such a table
        RestoreFromBackup,  // a whole backup holds more of the table's rows than it has now
    };
    TTool Tool;
    std::vector<std::string> Tables;
    // RestoreFromBackup: the backup, and the rows it holds against those readable now ("" and
    // 0 when no whole backup holds more).
    std::string Backup;
    std::uint64_t BackupRows = 0, RowsNow = 0;
};

struct THealthReport {
    std::string Directory;
    std::vector<TTableHealth> Tables;
    std::vector<std::string> MissingTables;    // asked for, not in the directory
    std::vector<std::string> Excluded;         // left out as asked, as spelled on disk
    std::vector<std::string> LockFiles;        // Paradox's lock and control files
    std::vector<std::string> PendingJournals;  // ".~NAME.journal" files
    std::vector<std::string> Leftovers;        // every other work file
    std::vector<std::vector<std::string>> CaseTwins;  // file names equal but for letter case
    std::vector<THealthAdvice> Advice;

    bool Healthy() const;
};

// Reads the tables `tables` of `directory` (every table when empty; names with or without
// ".db", letter case ignored), but those `excluded` names, and reports on each. Raises
// rtl::EError when the directory cannot be listed; a table that cannot be read is reported,
// not raised.
THealthReport CheckDatabaseHealth(const std::string& directory, const std::vector<std::string>& tables,
                                  const std::vector<std::string>& excluded = {});

// For each table of `report` that lost most of its rows, advises restoring it from the newest
// whole backup in `backupsDirectory` that holds more of them (or says that none does), ahead
// of the damage check. Raises rtl::EError when the directory cannot be listed.
void AdviseRestoreFromBackups(THealthReport& report, const std::string& backupsDirectory);

} // namespace database
