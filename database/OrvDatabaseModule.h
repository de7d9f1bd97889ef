// The source database module: one per task or table-list reload. It owns the engine
// session, the connection to the source database, one work table and one batch move,
// and reports progress and status to the targets its creator connects (each may be none).
#pragma once

#include "database/BackupStructure.h"
#include "platform/engine/EngineObjects.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/StringList.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/ui/ReportTargets.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace database {

class TOrvDatabaseModule {
public:
    TOrvDatabaseModule();   // runs DataModuleCreate
    ~TOrvDatabaseModule();  // runs DataModuleDestroy
    TOrvDatabaseModule(const TOrvDatabaseModule&) = delete;
    TOrvDatabaseModule& operator=(const TOrvDatabaseModule&) = delete;

    // Report targets, not owned.
    ui::IProgressTarget* ProgressBar = nullptr;
    ui::ITextTarget* StatusLabel = nullptr;
    ui::ITextTarget* StatusPanel = nullptr;

    // Designed engine objects.
    engine::TSession SourceSession;
    engine::TDatabase SourceDatabase;
    engine::TTable TemporaryTable;
    engine::TBatchMove MainBatchMove;

    // Opening the source.
    void OpenSourceByAlias(const std::string& alias);
    void OpenSourceByDirectory(const std::string& directory);
    // The connection's "PATH": the directory every file operation works in. Raises when
    // there is none (an alias without PATH, a source never opened): an empty directory
    // would silently mean the process's current directory.
    std::string DatabaseDirectory() const;
    // Holds the database directory for one operation that writes into it or reads it for a
    // backup: one such operation at a time across all our processes (the window and any
    // number of command-line runs). Another holder is waited for a bounded time
    // (rtl::DefaultLockWaitMs), then an error names it. Re-entrant inside the process,
    // so one operation may call another, and the engine may lock the directory again.
    // Interrupted changes of tables are completed first; a table whose change is left
    // (engine::paradox::JournalPending) must be left as it stands by the operation.
    rtl::TAdvisoryLock LockDatabaseDirectory() const;
    // The same hold for a run that only reads the tables (an export): interrupted changes
    // are left as they are, the tables read as they stand.
    rtl::TAdvisoryLock HoldDatabaseDirectoryForReading() const;

    // Listings.
    void ListAliases(rtl::TStringList& list);
    std::string GetAliasDirectory(const std::string& alias);
    void ListTableNames(rtl::TStringList& list, bool withExtensions);
    int CountTables();
    void LoadTableLists(std::string& allTables, std::string& keyViolationTables);

    // Progress and status.
    void ShowStatus(const std::string& text);
    void SetProgress(int minimum, int maximum, int position, const std::string& text);
    void SetProgressPosition(int position);
    // A zip run's progress: the bar at `done` of `total` bytes (range 0 to ZipProgressSteps),
    // and `text` followed by the name of the file being worked on.
    static constexpr int ZipProgressSteps = 1000;
    void ShowZipProgress(const std::string& text, const std::string& fileName, std::uint64_t done,
                         std::uint64_t total);

    // File sets and index deletion.
    void DeleteIndexes();
    // True when the database directory holds a table (a data file); otherwise shows that no
    // table was found, in a message box with `caption`: a run over an empty or unmounted
    // directory must not end as if it had done its work.
    bool TablesFound(const std::string& caption);

    // The tables (names without extension, letter case ignored) that a backup, a restore and
    // an index deletion are limited to; empty: every table of the database. A named table the
    // database or the backup does not hold is refused before anything is touched.
    std::vector<std::string> OnlyTables;

    // What the last backup did, for callers that report it (the command line, the window's
    // end-of-task text): whether a zip backup wrote its archive, the names of the index files
    // a directory backup without indexes removed from its target as stale, and what it wrote.
    struct TBackupReport {
        bool ArchiveWritten = false;
        std::vector<std::string> StaleIndexesRemoved;
        std::string Target;            // the directory or archive written
        int Tables = 0;                // tables backed up
        int Files = 0;                 // files written
        std::uint64_t Bytes = 0;       // bytes of those files
        // Directories beside the target that earlier, killed runs left and that were kept
        // (they held something not theirs), and an older backup that could not be removed.
        std::vector<std::string> LeftBehind;
    };
    TBackupReport LastBackup;

    // What the last restore did, for the same callers.
    struct TRestoreReport {
        std::string Source;                      // the backup directory or archive
        bool Completed = false;                  // every table it set out to restore is in place
        // The swap began: the database changed, or the next run finishes what a failure left.
        // False after a failure: nothing was restored and the database is unchanged.
        bool Begun = false;
        std::vector<std::string> TablesWaiting;  // left for the next run to finish
        std::vector<std::string> OtherFilesLeft; // files of the backup that belong to no table
        std::vector<std::string> TablesRestored; // tables put back, in order
        int FilesReplaced = 0;                   // live files written over
        int FilesAdded = 0;                      // files the database did not hold
        int FilesRemoved = 0;                    // live files of a restored table the backup lacks
        std::uint64_t Bytes = 0;                 // bytes of the files put in place
        std::uint64_t LiveRowsReplaced = 0;      // rows the restored tables held before
        struct TLeft {
            std::string Table;
            std::string Reason;
        };
        std::vector<TLeft> TablesLeft;           // tables refused or left as they were, and why
    };
    TRestoreReport LastRestore;
    // A restore a killed run left, which the last lock of the database directory completed
    // (Source empty when there was none).
    mutable TRestoreReport InterruptedRestore;

    // What the last index deletion removed.
    struct TIndexDeletionReport {
        int Tables = 0;                          // tables whose index files were deleted
        std::vector<std::string> FilesDeleted;
        std::vector<std::string> FilesKept;      // could not be deleted, each with why
    };
    TIndexDeletionReport LastIndexDeletion;

    // Backup and restore.
    void BackupToDirectory(const std::string& directory, bool withIndexes, std::uint8_t copyMode);
    void BackupToZip(const std::string& zipFileName, bool withIndexes, std::uint8_t copyMode);
    // True when the restore put files in place. False, after a message that says why, when
    // it restored nothing (the directory or archive is missing, unreadable, holds no table
    // file, the archiver failed or the user stopped it): the caller then goes no further.
    bool RestoreFromDirectory(const std::string& directory, std::uint8_t copyMode);
    bool RestoreFromZip(const std::string& zipFileName);
    bool PackToZip(const rtl::TStringList* files, const std::string& zipFileName);
    // What an unpacking met besides success: whether the user stopped it, and the names of the
    // files that could not be unpacked.
    struct TUnpackReport {
        bool Stopped = false;
        std::vector<std::string> FilesNotUnpacked;
        std::string StoppedBy;  // the reason no answer could change (a full disk), when that stopped it
    };
    bool UnpackFromZip(const std::string& zipFileName, const std::string& targetDirectory,
                       TUnpackReport* report = nullptr);

    // Repairs.
    void RepairKeyViolations(const std::string& tableList);
    // True when `table` (closed) is keyed by an autoincrement "IDXFIELD" whose next value is
    // taken: a blank row cannot be posted. Adds the primary index such a table lacks.
    bool HasKeyViolation(engine::TTable& table);
    // Replaces `table` (closed) by a new one with the same fields and every row, "IDXFIELD"
    // numbered afresh in the old key order; the new table has no index.
    void RecreateTable(engine::TTable& table);
    // A table object on the same database and session, named `name` (the table's own name
    // when empty).
    std::unique_ptr<engine::TTable> NewTableLike(const engine::TTable& table, const std::string& name);
    // Batch-moves the rows of `source` into `destination` by the field names in `names`;
    // the destination's row count afterwards, or -1 after any error.
    std::int32_t CopyTableContent(engine::TTable& source, engine::TTable& destination, const rtl::TStringList* names);

    // What the last key-violation repair did with each table it looked at, for reports.
    struct TKeyRepairOutcome {
        enum class TResult { NotChecked, Passed, Repaired, CopyFailed, Error };
        std::string Table;
        TResult Result = TResult::NotChecked;
        int RowsBefore = -1;  // Repaired, CopyFailed: rows of the old table
        int RowsAfter = -1;   // Repaired: rows of the new table
        std::string Reason;   // CopyFailed, Error: why
    };
    std::vector<TKeyRepairOutcome> KeyRepairOutcomes;
    // The work table into which the repair of the table with data file `dataPath` copies the
    // rows (its data file's path, spelled with the same extension).
    static std::string KeyRepairWorkTable(const std::string& dataPath);
    // `text` with every path of the work files of `table`'s repair told as what they are, so
    // that no message hands the user a file name of ours as if it were one of theirs.
    static std::string WithoutWorkFileNames(const std::string& text, const std::string& table);
    void CheckAndRebuildTables(const std::string& tableList);
    // True when the table whose data file is `tablePath` could not be rebuilt.
    bool RebuildOneTable(const std::string& tablePath);
    // Where a table the damage check refuses for its header may take its structure from.
    TStructureChoice StructureFrom;
    // What each rebuild of the last CheckAndRebuildTables did, in order (for reports).
    std::vector<tutil::TRebuildReport> RebuildReports;

private:
    // The steps of RecreateTable. The work table: a new table with the fields of `table`
    // (closed), under a work name no billing table has, after a leftover of that name from
    // an interrupted run is cleared.
    std::unique_ptr<engine::TTable> MakeWorkTable(engine::TTable& table);
    // Every row of `table` into `work`; the rows copied, or -1 (lastCopyError_ says why)
    // when not every row arrived.
    std::int32_t CopyEveryRow(engine::TTable& table, engine::TTable& work, TKeyRepairOutcome* outcome);
    // After a failed copy: the work table goes and the failure is shown.
    void DiscardFailedCopy(engine::TTable& work, TKeyRepairOutcome* outcome);
    // The work table takes the place of `table` as one change of the table's journal.
    void PutWorkTableInPlace(engine::TTable& table, engine::TTable& work);
    // The rows of `source` appended to `destination` as blank rows, the engine numbering
    // their autoincrement field: the copy of a table whose only field is that key.
    std::int32_t NumberRowsAfresh(engine::TTable& source, engine::TTable& destination);
    // Refuses (raising, naming it) a work table left by an earlier interrupted repair that
    // may hold rows nowhere else; deletes one whose rows the original table still holds.
    void ClearLeftover(engine::TTable& original, engine::TTable& leftover);
    std::string lastCopyError_;
    // After the rebuild refused the table at `tablePath` for its header: the rebuild with the
    // structure StructureFrom gives (asked first when it says so). True when not rebuilt.
    bool RebuildWithBackupStructure(const std::string& tablePath);
    // While another run's lock is waited for, the status says so; then it shows again what it
    // showed before.
    void NoteLockWait(bool waiting, const std::string& text);
    std::string panelBeforeWait_, labelBeforeWait_;
    void DataModuleCreate();
    void DataModuleDestroy();
    // Raises before any file is touched when `directory` is the database directory itself.
    void RefuseCopyOntoItself(const std::string& directory, const std::string& what) const;
};

} // namespace database
