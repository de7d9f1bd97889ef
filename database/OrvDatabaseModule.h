// The source database module: one per task or table-list reload. It owns the engine
// session, the connection to the source database, one work table and one batch move,
// and reports progress and status to the targets its creator connects (each may be none).
#pragma once

#include "platform/engine/EngineObjects.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/ReportTargets.h"

#include <cstdint>
#include <string>
#include <vector>

namespace database {

class TCopyFileSystem;

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
    // The file system every copy goes through, not owned; none means the real one.
    // Tests connect one that fails at a chosen step.
    TCopyFileSystem* FileSystem = nullptr;

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
    // (rtl::DefaultLockWaitMs), then rtl::ELockBusy names it. Re-entrant inside the process,
    // so one operation may call another, and the engine may lock the directory again.
    rtl::TAdvisoryLock LockDatabaseDirectory() const;

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

    // File sets and index deletion.
    void DeleteIndexes();

    // What the last backup did besides copying, for callers that report it (the command
    // line): whether a zip backup wrote its archive, and the names of the index files a
    // directory backup without indexes removed from its target as stale.
    struct TBackupReport {
        bool ArchiveWritten = false;
        std::vector<std::string> StaleIndexesRemoved;
    };
    TBackupReport LastBackup;

    // Backup and restore.
    void BackupToDirectory(const std::string& directory, bool withIndexes, std::uint8_t copyMode);
    void BackupToZip(const std::string& zipFileName, bool withIndexes, std::uint8_t copyMode);
    void RestoreFromDirectory(const std::string& directory, std::uint8_t copyMode);
    void RestoreFromZip(const std::string& zipFileName);
    bool PackToZip(const rtl::TStringList* files, const std::string& zipFileName);
    bool UnpackFromZip(const std::string& zipFileName, const std::string& targetDirectory);

    // Repairs.
    void RepairKeyViolations(const std::string& tableList);
    void CheckAndRebuildTables(const std::string& tableList);

private:
    void DataModuleCreate();
    void DataModuleDestroy();
    TCopyFileSystem& CopyFileSystem() const;
    // Raises before any file is touched when `directory` is the database directory itself.
    void RefuseCopyOntoItself(const std::string& directory, const std::string& what) const;
};

} // namespace database
