#include "platform/tutil/RebuildBackupSwap.h"

#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/tutil/CompanionDirectory.h"
#include "platform/tutil/UtilityFailure.h"

#include <set>

namespace tutil {

using namespace engine::paradox;

namespace {

// The members whose names the swap gives new files (or removes): the data file, the memo and
// primary index files it rewrites, every secondary index (rebuilt or dropped). Only their
// backups may be links; the side files stay the table's own after the swap.
std::set<std::string> ReplacedMembers(const TRebuildSource& source) {
    std::set<std::string> names{source.DataName()};
    if (source.HasBlobs()) names.insert(rtl::ExtractFileName(CompanionPath(source.DataPath(), ".mb")));
    if (source.Keyed()) names.insert(rtl::ExtractFileName(CompanionPath(source.DataPath(), ".px")));
    for (const auto& plan : source.Plans()) {
        names.insert(rtl::ExtractFileName(plan.Files.DataPath));
        if (!plan.Files.TreePath.empty()) names.insert(rtl::ExtractFileName(plan.Files.TreePath));
    }
    return names;
}

} // namespace

TBackupAndSwap::TBackupAndSwap(const TRebuildSource& source, const std::string& backupName, std::time_t now,
                               TRebuildReport& report)
    : source_(source), report_(report) {
    companionDir_ = MakeCompanionDirectory(source_.Dir(), engine::TableBaseName(source_.DataName()), now);
    report_.CompanionDirectory = companionDir_;
    const std::set<std::string> replaced = ReplacedMembers(source_);
    During(TUERR_BACKUP, [&] {
        backup_ = BackupFamily(
            source_.DataPath(), companionDir_, rtl::ChangeFileExt(backupName, ""),
            [&](const std::string& member) { return replaced.count(rtl::ExtractFileName(member)) > 0; });
    });
    for (const auto& file : backup_) report_.BackupFiles.push_back(file.Path);
}

// A failed rebuild leaves the table in use, and the billing application writes into its
// files in place: a backup linked to them would change with them.
std::string TBackupAndSwap::KeepBackupApart() {
    if (swapped_) return {};
    std::string note;
    std::vector<TBackupFile> kept;
    for (auto& file : backup_) {
        try {
            if (file.Linked) SeparateBackupFile(file);
        } catch (const TUtilFailure& e) {
            const std::string name = rtl::ExtractFileName(file.Path);
            if (rtl::FileSystem().Unlink(file.Path) == 0) {
                note += rtl::Format(rtl::TMsg::RebuildBackupRemoved, {name, e.what()});
                continue;
            }
            note += rtl::Format(rtl::TMsg::RebuildBackupShared, {name, e.what()});
        }
        kept.push_back(file);
    }
    backup_ = kept;
    report_.BackupFiles.clear();
    for (const auto& file : backup_) report_.BackupFiles.push_back(file.Path);
    return note;
}

// A linked backup file becomes a backup when the swap gives its member's name a new file.
// Only members the swap replaces were linked; should the swap leave one of them as it is, its
// backup gets data of its own first.
void TBackupAndSwap::SeparateUnreplacedBackups(const std::vector<TFamilyStep>& steps) {
    std::set<std::string> replaced;
    for (const auto& step : steps) replaced.insert(step.What == TFamilyStep::TKind::Rename ? step.To : step.From);
    for (auto& file : backup_)
        if (file.Linked && replaced.count(rtl::ExtractFileName(file.Member)) == 0) SeparateBackupFile(file);
}

void TBackupAndSwap::Swap(const std::vector<TFamilyStep>& steps) {
    SeparateUnreplacedBackups(steps);
    try {
        // The new files are whole and on the disk, and the old ones they replace are gone
        // from the table's names once a step has run: the change can only go forward, at once
        // if the file system lets it, else by the next run that writes the table.
        RunFamilySteps(source_.Dir(), source_.DataName(), steps, TStepFailure::Retry);
    } catch (const std::exception& e) {
        journalLeft_ = JournalPending(source_.Dir(), source_.DataName());
        Fail(TUERR_SWAP, journalLeft_ ? rtl::Format(rtl::TMsg::RebuildSwapPending, {e.what()}) : std::string(e.what()));
    }
    swapped_ = true;
}

} // namespace tutil
