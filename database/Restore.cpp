// Restore from a backup directory or a zip archive: the tables to restore are chosen and
// checked whole before anything is touched, staged whole inside the database directory, and
// swapped in together as one change of the database (FamilyRestore.h).
#include "database/OrvDatabaseModule.h"

#include "database/BackupManifest.h"
#include "database/FamilyRestore.h"
#include "database/FileCopy.h"
#include "database/KeyRepairReading.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIdentity.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"
#include "platform/zip/ArchiveListing.h"

#include <cerrno>
#include <map>
#include <set>

namespace database {

namespace {

std::string RestoreCaption() { return rtl::Text(rtl::TMsg::DbRestoreCaption); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + Quoted(name);
    return text;
}

// A failure before the swap: nothing was restored, and the message says so after its cause.
[[noreturn]] void FailUnchanged(const std::string& cause) {
    throw rtl::EFileError(rtl::Format(rtl::TMsg::RestoreFailedUnchanged, {cause}));
}

// The files of the backup that make no table (a spreadsheet "notes.xls"): not restored.
void NoteOtherFiles(TOrvDatabaseModule::TRestoreReport& report, const TBackupFamilies& backup) {
    for (const TTableFamily& family : backup.Families)
        if (family.DataFile.empty())
            report.OtherFilesLeft.insert(report.OtherFilesLeft.end(), family.Files.begin(), family.Files.end());
}

// Refuses, before anything is staged, a restore whose files would not fit beside the live ones.
void RefuseWithoutRoom(const std::string& databaseDirectory, std::uint64_t needed) {
    std::uint64_t free = 0;
    if (rtl::FileSystem().FreeSpace(databaseDirectory, free) != 0 || free >= needed) return;
    const auto mib = [](std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); };
    throw rtl::EError(rtl::Format(rtl::TMsg::RestoreNoRoom, {databaseDirectory, mib(needed), mib(free)}));
}

// The rows each planned table holds now, as a plain reader finds them: what its restore replaces.
std::map<std::string, std::uint64_t> LiveRowsOf(const TRestorePlan& plan, const std::string& databaseDirectory) {
    std::map<std::string, std::uint64_t> rows;
    const std::string dir = rtl::WithTrailingSeparator(databaseDirectory);
    for (const TPlannedTable& table : plan.Tables)
        if (!table.DataFile.empty() && rtl::FileExists(dir + table.DataFile))
            rows[table.Table] = ReadEveryRow(dir + table.DataFile).Rows;
    return rows;
}

// The restore's report and what the user is told, once the swap has begun.
void Conclude(TOrvDatabaseModule::TRestoreReport& report, const TRestorePlan& plan, const TIntentOutcome& outcome,
              const std::string& databaseDirectory, const std::map<std::string, std::uint64_t>& liveRows) {
    report.Begun = true;
    report.TablesRestored = outcome.Restored;
    report.TablesWaiting = outcome.Waiting;
    const std::set<std::string> restored(outcome.Restored.begin(), outcome.Restored.end());
    const std::string dir = rtl::WithTrailingSeparator(databaseDirectory);
    for (const TPlannedTable& table : plan.Tables) {
        if (!restored.count(table.Table)) continue;
        if (const auto rows = liveRows.find(table.Table); rows != liveRows.end()) report.LiveRowsReplaced += rows->second;
        for (const TPlannedFile& file : table.Files) {
            (file.Replaces ? report.FilesReplaced : report.FilesAdded) += 1;
            rtl::TFileStatus st;
            if (rtl::FileSystem().Stat(dir + file.LiveName, st) == 0) report.Bytes += st.Size;
        }
        report.FilesRemoved += static_cast<int>(table.LiveRemoved.size());
    }
    for (const auto& left : outcome.Left) report.TablesLeft.push_back({left.Table, left.Reason});
    for (const std::string& other : plan.OtherSpellingsKept)
        report.TablesLeft.push_back({other, rtl::Text(rtl::TMsg::RestoreOtherSpellingKept)});
    report.Completed = outcome.Finished() && outcome.Left.empty();
    if (!outcome.Finished())
        throw rtl::EError(rtl::Format(rtl::TMsg::RestoreUnfinished, {report.Source, outcome.Failure,
                                                                      Joined(outcome.Restored), Joined(outcome.Waiting)}));
    std::string left;
    for (const auto& l : report.TablesLeft) left += "\r\n" + Quoted(l.Table) + ": " + l.Reason;
    if (!left.empty())
        ui::ShowWarning(RestoreCaption(), rtl::Format(rtl::TMsg::RestoreTablesLeft, {Joined(outcome.Restored), left}));
}

// Gives the unpacked file `staged` the owner and permissions of the place `target` it is to take.
void GiveIdentityOfPlace(const std::string& staged, const std::string& target) {
    rtl::TFileDescriptor fd(rtl::FileSystem().Open(staged, O_RDONLY | O_NOFOLLOW));
    rtl::TFileStatus st;
    if (!fd.Valid() || rtl::FileSystem().Fstat(fd.Get(), st) != 0)
        throw rtl::EFileError(rtl::Format(rtl::TMsg::FileCannotOpen, {staged, rtl::SystemReason(errno)}));
    rtl::GiveIdentity(fd.Get(), rtl::IdentityForPlaceOf(target, st.Mode & 0777));
}

} // namespace

bool TOrvDatabaseModule::RestoreFromDirectory(const std::string& directory, std::uint8_t copyMode) {
    LastRestore = {};
    LastRestore.Source = directory;
    // A restore that restores nothing says so and reports it, so that nothing is done after it
    // (the index deletion above all) as if the tables had come back.
    if (directory.empty()) {
        ui::ShowError(RestoreCaption(), rtl::Text(rtl::TMsg::DbNoRestoreDirectory));
        return false;
    }
    if (!rtl::DirectoryExists(directory)) {
        ui::ShowError(RestoreCaption(), rtl::Format(rtl::TMsg::DbRestoreDirectoryMissing, {directory}));
        return false;
    }
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string target = DatabaseDirectory();
    RefuseCopyOntoItself(directory, rtl::Text(rtl::TMsg::DbRestoreDirectoryWord));
    RefuseUnknownCopyMode(copyMode);
    const TBackupFamilies backup = DirectoryFamilies(directory);
    if (!backup.Problem.empty()) FailUnchanged(backup.Problem);
    // A backup stopped while it replaced its tables one by one: a table's data file may be of
    // one run and its memo file of the other.
    if (ReadBackupManifest(directory).Unfinished)
        FailUnchanged(rtl::Format(rtl::TMsg::RestoreBackupUnfinished, {directory}));
    if (!backup.HoldsTable()) {
        ui::ShowError(RestoreCaption(), rtl::Format(rtl::TMsg::DbRestoreDirectoryEmpty, {directory}));
        return false;
    }
    ShowStatus(rtl::Format(rtl::TMsg::DbRestoringFrom, {Quoted(directory)}));
    ClearEndedRestores(target);
    const std::string source = rtl::WithTrailingSeparator(directory);
    const TRestorePlan plan = PlanRestore(target, directory, backup, OnlyTables, [&](const TTableFamily& f) {
        return MemoNeedOfFile(source + f.DataFile);
    });
    NoteOtherFiles(LastRestore, backup);
    std::uint64_t needed = 0;
    for (const TPlannedTable& table : plan.Tables)
        for (const TPlannedFile& file : table.Files) {
            rtl::TFileStatus st;
            if (rtl::FileSystem().Stat(source + file.BackupName, st) == 0) needed += st.Size;
        }
    RefuseWithoutRoom(target, needed);
    const auto liveRows = LiveRowsOf(plan, target);
    TIntentOutcome outcome;
    {
        TStagingDirectory staging(target);
        try {
            outcome = PutPlanInPlace(target, staging, directory, plan, [&](const TPlannedFile& file, const std::string& live) {
                return rtl::ExtractFileName(
                    CopyToStagedFile(source + file.BackupName, live, ProgressBar, TCopyIdentity::OfTargetPlace, staging.Path()));
            });
        } catch (const rtl::EError& e) {
            FailUnchanged(e.what());
        }
    }
    Conclude(LastRestore, plan, outcome, target, liveRows);
    ShowStatus("");
    return true;
}

bool TOrvDatabaseModule::RestoreFromZip(const std::string& zipFileName) {
    LastRestore = {};
    LastRestore.Source = zipFileName;
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    const std::string target = DatabaseDirectory();
    ShowStatus(rtl::Format(rtl::TMsg::DbRestoringFrom, {Quoted(zipFileName)}));
    ClearEndedRestores(target);
    // Into a directory without files the stored permissions are given back, as unpacking
    // straight into it would; otherwise each file takes the place's owner and permissions.
    const bool keepStoredModes = rtl::ListFiles(target, "*").empty();
    {
        const azip::TArchiveListing listing = azip::ListArchive(zipFileName, {}, 0);
        std::uint64_t needed = 0;
        for (const azip::TArchiveEntry& entry : listing.Entries) needed += entry.Size;
        if (listing.Ok()) RefuseWithoutRoom(target, needed);
    }
    // The archive is unpacked whole beside the tables first, so a failed or stopped unpacking
    // changes none of them.
    TStagingDirectory staging(target);
    TUnpackReport report;
    if (!UnpackFromZip(zipFileName, staging.Path(), &report)) {
        ShowStatus("");
        if (!report.StoppedBy.empty())
            FailUnchanged(rtl::Format(rtl::TMsg::RestoreUnpackStopped,
                                      {report.FilesNotUnpacked.empty() ? zipFileName : report.FilesNotUnpacked.back(),
                                       report.StoppedBy}));
        if (report.Stopped)
            ui::ShowError(RestoreCaption(),
                          rtl::Format(rtl::TMsg::DbRestoreStopped, {report.FilesNotUnpacked.empty()
                                                                        ? zipFileName
                                                                        : report.FilesNotUnpacked.back()}));
        return false;
    }
    // A table one of whose files could not be unpacked keeps all its old files.
    std::map<std::string, std::string> notRestored;  // key, table as the user knows its name
    for (const std::string& name : report.FilesNotUnpacked)
        if (MatchesAnyTableFileMask(name)) notRestored.emplace(TableKeyOf(name), rtl::ChangeFileExt(name, ""));
    TBackupFamilies backup = DirectoryFamilies(staging.Path());
    if (!backup.Problem.empty()) FailUnchanged(backup.Problem);
    std::erase_if(backup.Families, [&](const TTableFamily& f) { return notRestored.count(f.Key()) > 0; });
    for (const std::string& name : rtl::ListFiles(staging.Path(), "*"))
        if (!MatchesAnyTableFileMask(name)) LastRestore.OtherFilesLeft.push_back(name);
    if (!backup.HoldsTable() && notRestored.empty()) {
        ui::ShowError(RestoreCaption(), rtl::Format(rtl::TMsg::DbArchiveEmpty, {zipFileName}));
        ShowStatus("");
        return false;
    }
    const std::string stagingDir = rtl::WithTrailingSeparator(staging.Path());
    const TRestorePlan plan = PlanRestore(target, zipFileName, backup, OnlyTables, [&](const TTableFamily& f) {
        return MemoNeedOfFile(stagingDir + f.DataFile);
    });
    NoteOtherFiles(LastRestore, backup);
    const auto liveRows = LiveRowsOf(plan, target);
    TIntentOutcome outcome;
    try {
        outcome = PutPlanInPlace(target, staging, zipFileName, plan, [&](const TPlannedFile& file, const std::string& live) {
            if (!keepStoredModes) GiveIdentityOfPlace(stagingDir + file.BackupName, live);
            return file.BackupName;
        });
    } catch (const rtl::EError& e) {
        FailUnchanged(e.what());
    }
    Conclude(LastRestore, plan, outcome, target, liveRows);
    if (!notRestored.empty()) {
        std::string tables;
        for (const auto& [key, table] : notRestored) {
            tables += "\r\n\"" + table + "\"";
            LastRestore.TablesLeft.push_back({table, rtl::Text(rtl::TMsg::RestoreTableNotUnpacked)});
        }
        LastRestore.Completed = false;
        ui::ShowWarning(RestoreCaption(), rtl::Format(rtl::TMsg::DbTablesNotUnpacked, {tables}));
    }
    ShowStatus("");
    return !plan.Tables.empty();
}

} // namespace database
