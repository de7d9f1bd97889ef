#include "database/FamilyRestore.h"

#include "database/FileCopy.h"
#include "database/TableFileSet.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace database {

namespace {

// The live table a restored family stands for: the one of its key, or, where the database
// holds several spellings (another table each), the one spelled as the backup spells it.
const TTableFamily* LiveMatch(const TTableFamily& restored, const std::vector<const TTableFamily*>& sameKey,
                              std::string& ambiguous) {
    for (const TTableFamily* live : sameKey)
        if (live->Name == restored.Name) return live;
    if (sameKey.size() == 1 && !restored.Twin) return sameKey.front();
    if (sameKey.size() > 1 && !restored.Twin)
        for (const TTableFamily* live : sameKey) ambiguous += (ambiguous.empty() ? "" : ", ") + live->Name;
    return nullptr;
}

std::string RefusalText(const std::string& backupName, const std::vector<std::string>& reasons) {
    std::string lines;
    for (const std::string& reason : reasons) lines += "\r\n" + reason;
    return rtl::Format(rtl::TMsg::RestoreRefused, {backupName, lines});
}

} // namespace

TRestorePlan PlanRestore(const std::string& databaseDirectory, const std::string& backupName,
                         const TBackupFamilies& backup, const std::vector<std::string>& only,
                         const std::function<TMemoNeed(const TTableFamily&)>& memoNeed) {
    std::vector<std::string> reasons;
    std::vector<TTableFamily> chosen = backup.Families;
    if (!only.empty()) {
        std::vector<std::string> unknown;
        chosen = SelectFamilies(backup.Families, only, unknown);
        for (const std::string& table : unknown) reasons.push_back(rtl::Format(rtl::TMsg::BackupHoldsNoTable, {table}));
    }
    for (const TFamilyFault& fault : FamiliesNotWhole(chosen, memoNeed)) reasons.push_back(fault.Text);

    std::vector<std::string> liveNames;
    for (const std::string& path : FindTableFiles(databaseDirectory, AllTableFileExtensions))
        liveNames.push_back(rtl::ExtractFileName(path));
    const std::vector<TTableFamily> live = GroupFamilies(liveNames);

    TRestorePlan plan;
    for (const TTableFamily& restored : chosen) {
        if (restored.DataFile.empty()) continue;  // named above
        std::vector<const TTableFamily*> sameKey;
        for (const TTableFamily& l : live)
            if (l.Key() == restored.Key()) sameKey.push_back(&l);
        std::string ambiguous;
        const TTableFamily* match = LiveMatch(restored, sameKey, ambiguous);
        if (!ambiguous.empty()) {
            reasons.push_back(rtl::Format(rtl::TMsg::RestoreWhichLiveTable, {restored.Name, ambiguous}));
            continue;
        }
        for (const TTableFamily* other : sameKey)
            if (other != match) plan.OtherSpellingsKept.push_back(other->Name);
        // Without a memo file in the backup, the live one goes: only when the restored table
        // is known to need none.
        if (match && restored.MemoFile.empty() && !match->MemoFile.empty() &&
            memoNeed(restored) == TMemoNeed::Unknown)
            reasons.push_back(
                rtl::Format(rtl::TMsg::RestoreMemoNeedUnknown, {restored.Name, restored.DataFile, match->MemoFile}));

        TPlannedTable table;
        table.Table = restored.Name;
        std::map<std::string, int> spellings;
        for (const std::string& name : restored.Files) ++spellings[rtl::FileNameKey(name)];
        for (const std::string& name : restored.Files) {
            TPlannedFile file{name, name, false};
            // A restored file lands on the live file of its table spelled the same way, or in
            // other letter case; names the backup holds in several letter cases keep their own.
            if (match && spellings[rtl::FileNameKey(name)] == 1)
                for (const std::string& liveName : match->Files)
                    if (rtl::FileNameKey(liveName) == rtl::FileNameKey(name)) file.LiveName = liveName;
            if (match)
                file.Replaces = std::find(match->Files.begin(), match->Files.end(), file.LiveName) != match->Files.end();
            if (name == restored.DataFile) table.DataFile = file.LiveName;
            table.Files.push_back(std::move(file));
        }
        if (match)
            for (const std::string& liveName : match->Files)
                if (std::none_of(table.Files.begin(), table.Files.end(),
                                 [&](const TPlannedFile& f) { return f.LiveName == liveName; }))
                    table.LiveRemoved.push_back(liveName);
        plan.Tables.push_back(std::move(table));
    }
    if (!reasons.empty()) throw rtl::EError(RefusalText(backupName, reasons));
    return plan;
}

TIntentOutcome PutPlanInPlace(const std::string& databaseDirectory, TStagingDirectory& staging,
                              const std::string& backupName, const TRestorePlan& plan, const TStageFile& stage) {
    const std::string dir = rtl::WithTrailingSeparator(databaseDirectory);
    const std::string stagingDir = rtl::WithTrailingSeparator(staging.Path());
    TRestoreIntent intent{staging.Name(), backupName, {}};
    for (const TPlannedTable& table : plan.Tables) {
        TIntentTable steps{table.Table, table.DataFile, {}};
        for (const std::string& removed : table.LiveRemoved)
            steps.Steps.push_back({TIntentStep::TKind::Unlink, {}, removed, {}, StateOf(dir + removed)});
        for (const TPlannedFile& file : table.Files) {
            const std::string staged = stage(file, dir + file.LiveName);
            steps.Steps.push_back({TIntentStep::TKind::Rename, staged, file.LiveName, StateOf(stagingDir + staged),
                                   StateOf(dir + file.LiveName)});
        }
        intent.Tables.push_back(std::move(steps));
    }
    // What was staged is on the disk under its names before the intent may name it.
    if (rtl::FileSystem().SyncDirectory(staging.Path()) != 0)
        throw StreamError(rtl::TMsg::DbStreamWriteError, staging.Path());
    WriteRestoreIntent(databaseDirectory, intent);
    TIntentOutcome outcome = CarryOutRestoreIntent(databaseDirectory, intent);
    if (!outcome.Finished()) {
        // The change goes forward, never back: at once when the file system lets it (the
        // failure may have passed), else by the next run.
        // Tables already put in place count again as done.
        outcome = CarryOutRestoreIntent(databaseDirectory, intent);
    }
    if (!outcome.Finished()) staging.Keep();
    return outcome;
}

void ClearEndedRestores(const std::string& databaseDirectory) {
    if (RestoreIntentPending(databaseDirectory)) return;
    // What an interrupted change still waiting names is that change's (its table stays as it
    // stands): neither its staged files nor a staging directory one of them is in go.
    std::vector<std::string> named;
    for (const auto& change : engine::paradox::FindInterruptedChanges(databaseDirectory))
        named.insert(named.end(), change.Files.begin(), change.Files.end());
    const auto keep = [&](const std::string& name) {
        return std::any_of(named.begin(), named.end(), [&](const std::string& file) {
            return file == name || file.rfind(name + "/", 0) == 0 || file.rfind(name + "\\", 0) == 0;
        });
    };
    rtl::TEndedRunFiles found = RemoveCopiesOfEndedRuns(databaseDirectory, keep);
    std::vector<rtl::TDirEntry> entries;
    if (rtl::FileSystem().ListDirectory(databaseDirectory, entries) == 0)
        for (const rtl::TDirEntry& entry : entries) {
            if (entry.Name.rfind(RestoreStagingMarker, 0) != 0 ||
                !rtl::TaggedByEndedProcess(entry.Name, RestoreStagingMarker) || keep(entry.Name))
                continue;
            // Only a directory a run of ours made goes, judged by the name itself: a listing
            // may not say what an entry is, and a link so named leads somewhere else.
            rtl::TFileStatus st;
            const std::string path = rtl::WithTrailingSeparator(databaseDirectory) + entry.Name;
            if (rtl::FileSystem().Lstat(path, st) != 0) continue;
            if (st.Kind == rtl::TFileKind::Symlink) found.Links.push_back(entry.Name);
            if (st.IsDirectory() && rtl::RemoveDirectoryWithFiles(path)) found.Removed.push_back(entry.Name);
        }
    engine::NoteEndedRunFiles(databaseDirectory, {}, found, engine::TRunNotice::TKind::RestoreLeftovers);
}

TStagingDirectory::TStagingDirectory(const std::string& databaseDirectory) {
    if (!rtl::CreateUniqueDirectory(rtl::WithTrailingSeparator(databaseDirectory) + RestoreStagingMarker + rtl::ProcessTag(),
                                    0700, path_))
        throw rtl::EFileError(
            rtl::Format(rtl::TMsg::RestoreCannotWriteDatabase, {databaseDirectory, rtl::SystemReason(errno)}));
    name_ = rtl::ExtractFileName(path_);
}

TStagingDirectory::~TStagingDirectory() {
    if (!keep_) rtl::RemoveDirectoryWithFiles(path_);
}

} // namespace database
