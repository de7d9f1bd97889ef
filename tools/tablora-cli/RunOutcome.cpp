#include "tools/tablora-cli/RunOutcome.h"

#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "tools/tablora-cli/ExitCodes.h"

namespace cli {

namespace {

using TKeyResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;
using rtl::TMsg;

bool AnyRebuilt(const TOutcome& outcome) {
    for (const auto& r : outcome.rebuilds)
        if (r.Rebuilt) return true;
    return false;
}

bool ZipBackup(const TCliOptions& o) { return !o.toZip.empty(); }

// The rebuild left rows or values of the live table somewhere else, or lost them.
bool RowsMovedOrLost(const tutil::TRebuildReport& r) {
    return r.RowsToKeyViolations > 0 || r.RowsToProblems > 0 || r.RowsNotFound > 0 || r.BlobsLost > 0;
}

int BackupCode(const TCliOptions& o, const TOutcome& outcome) {
    // An archive the backup did not write leaves the last one as it was.
    if (ZipBackup(o) && !outcome.backup.ArchiveWritten) return ExitError;
    // One written over the last that does not read back whole.
    if (outcome.verified && !outcome.verify.Ok()) return ExitPartial;
    return outcome.problemsShown || outcome.dated.Problem() ? ExitProblem : ExitDone;
}

int DamageCheckCode(const TOutcome& outcome) {
    // A table not rebuilt, or one never reached (the run failed before it), stopped the run.
    bool stopped = outcome.rebuilds.size() < outcome.damageTables.size(), moved = false;
    for (const auto& r : outcome.rebuilds) {
        stopped = stopped || !r.Rebuilt;
        moved = moved || (r.Rebuilt && RowsMovedOrLost(r));
    }
    if (stopped) return FailedRunCode(AnyRebuilt(outcome));
    return moved || outcome.problemsShown || PruningProblem(outcome.pruned) ? ExitProblem : ExitDone;
}

} // namespace

void CollectReports(const database::TOrvDatabaseModule& module, TOutcome& outcome) {
    outcome.backup = module.LastBackup;
    outcome.restore = module.LastRestore;
    outcome.interruptedRestore = module.InterruptedRestore;
    outcome.indexDeletion = module.LastIndexDeletion;
    outcome.keyRepairs = module.KeyRepairOutcomes;
    if (outcome.damageRun) outcome.rebuilds = module.RebuildReports;
}

bool ChangedSomething(const TCliOptions& o, const TOutcome& outcome) {
    const auto& r = outcome.restore;
    if (!r.TablesRestored.empty() || r.FilesReplaced + r.FilesAdded + r.FilesRemoved > 0 || outcome.restored) return true;
    if (!outcome.indexDeletion.FilesDeleted.empty()) return true;
    if (o.command == "backup")
        return ZipBackup(o) ? outcome.backup.ArchiveWritten : outcome.backup.Files > 0;
    if (o.command == "repair-keys")
        for (const auto& k : outcome.keyRepairs)
            if (k.Result == TKeyResult::Repaired) return true;
    if (o.command == "check-damage") return AnyRebuilt(outcome);
    if (o.command == "export") return outcome.exported.tablesWritten > 0;
    return false;
}

int FinishedRunCode(const TCliOptions& o, const TOutcome& outcome) {
    // Nothing to work on (an empty or unmounted share): nothing was done.
    if (!outcome.problem.empty()) return ExitError;
    if (o.command == "backup") return BackupCode(o, outcome);
    if (o.command == "restore") {
        if (!outcome.restored) return ExitError;
        return outcome.problemsShown || !outcome.restore.TablesLeft.empty() ? ExitProblem : ExitDone;
    }
    if (o.command == "check-damage") return DamageCheckCode(outcome);
    if (o.command == "export") return outcome.exported.HadProblems() || outcome.problemsShown ? ExitProblem : ExitDone;
    return outcome.problemsShown ? ExitProblem : ExitDone;
}

namespace {

void SummarizeBackup(const TCliOptions& o, const TOutcome& outcome, TRunSummary& s) {
    const auto& b = outcome.backup;
    const bool written = ZipBackup(o) ? b.ArchiveWritten : outcome.error.empty();
    if (written) s.BackupMade = b.Target.empty() ? rtl::AbsolutePath(outcome.dated.target) : b.Target;
    s.Count("tablesBackedUp", TMsg::CliCountTablesBackedUp, static_cast<std::uint64_t>(b.Tables));
    s.Count("filesWritten", TMsg::CliCountFilesWritten, static_cast<std::uint64_t>(b.Files));
    s.Count("bytesWritten", TMsg::CliCountBytes, b.Bytes);
    s.Count("filesDeleted", TMsg::CliCountFilesDeleted, b.StaleIndexesRemoved.size());
    if (outcome.dated.rotating)
        s.Count("backupsDeleted", TMsg::CliCountBackupsDeleted, outcome.dated.rotation.Deleted.size());
    for (const auto& n : outcome.dated.rotation.NotDeleted) s.NotDone.push_back({n.Name, n.Why});
}

void SummarizeRestore(const TCliOptions& o, const TOutcome& outcome, TRunSummary& s) {
    const auto& r = outcome.restore;
    s.BackupUsed = !r.Source.empty() ? r.Source : rtl::AbsolutePath(o.fromDir.empty() ? o.fromZip : o.fromDir);
    s.Count("tablesRestored", TMsg::CliCountTablesRestored, r.TablesRestored.size());
    s.Count("databaseRowsReplaced", TMsg::CliCountLiveRowsReplaced, r.LiveRowsReplaced);
    s.Count("filesReplaced", TMsg::CliCountFilesReplaced, static_cast<std::uint64_t>(r.FilesReplaced));
    s.Count("filesWritten", TMsg::CliCountFilesWritten, static_cast<std::uint64_t>(r.FilesAdded));
    s.Count("filesDeleted", TMsg::CliCountFilesDeleted, static_cast<std::uint64_t>(r.FilesRemoved));
    s.Count("bytesWritten", TMsg::CliCountBytes, r.Bytes);
    if (o.deleteIndexes)
        s.Count("indexFilesDeleted", TMsg::CliCountIndexFilesDeleted, outcome.indexDeletion.FilesDeleted.size());
    for (const auto& left : r.TablesLeft) s.NotDone.push_back({left.Table, left.Reason});
}

void SummarizeKeyRepair(const TOutcome& outcome, TRunSummary& s) {
    std::uint64_t passed = 0, recreated = 0;
    for (const auto& k : outcome.keyRepairs) {
        if (k.Result == TKeyResult::Passed) ++passed;
        if (k.Result == TKeyResult::Repaired) ++recreated;
        if (k.Result == TKeyResult::CopyFailed || k.Result == TKeyResult::Error)
            s.NotDone.push_back({k.Table, k.Reason.empty() ? rtl::Text(TMsg::CliWhyUnknown) : k.Reason});
    }
    s.Count("tablesChecked", TMsg::CliCountTablesChecked, outcome.keyRepairs.size());
    s.Count("tablesPassed", TMsg::CliCountTablesPassed, passed);
    s.Count("tablesRecreated", TMsg::CliCountTablesRecreated, recreated);
}

void SummarizeDamageCheck(const TOutcome& outcome, TRunSummary& s) {
    std::uint64_t rebuilt = 0, kept = 0, moved = 0, notFound = 0;
    for (const auto& r : outcome.rebuilds) {
        if (!r.Rebuilt) {
            s.NotDone.push_back({rtl::ExtractFileName(r.TablePath), r.Failure});
            continue;
        }
        ++rebuilt;
        kept += r.RowsKept;
        moved += r.RowsToKeyViolations + r.RowsToProblems;
        notFound += r.RowsNotFound;
    }
    for (std::size_t i = outcome.rebuilds.size(); i < outcome.damageTables.size(); ++i)
        s.NotDone.push_back({outcome.damageTables[i], rtl::Text(TMsg::CliWhyRunStopped)});
    s.Count("tablesRebuilt", TMsg::CliCountTablesRebuilt, rebuilt);
    s.Count("rowsKept", TMsg::CliCountRowsKept, kept);
    s.Count("rowsMoved", TMsg::CliCountRowsMoved, moved);
    s.Count("rowsNotFound", TMsg::CliCountRowsNotFound, notFound);
    s.Count("tablesNotProcessed", TMsg::CliCountTablesNotProcessed,
            outcome.damageTables.size() > outcome.rebuilds.size() ? outcome.damageTables.size() - outcome.rebuilds.size() : 0);
    std::uint64_t deleted = 0;
    for (const auto& p : outcome.pruned) deleted += p.rotation.Deleted.size();
    if (!outcome.pruned.empty()) s.Count("backupsDeleted", TMsg::CliCountBackupsDeleted, deleted);
}

void SummarizeExport(const TOutcome& outcome, TRunSummary& s) {
    const TExportOutcome& e = outcome.exported;
    std::uint64_t exported = 0, rows = 0;
    for (const auto& t : e.tables) {
        if (t.Exported) ++exported;
        else s.NotDone.push_back({t.Table, rtl::Text(TMsg::CliWhyNotReadable)});
        rows += t.Rows;
    }
    s.Count("tablesExported", TMsg::CliCountTablesExported, exported);
    s.Count("rows", TMsg::CliCountRows, rows);
    s.Count("filesWritten", TMsg::CliCountFilesWritten, e.filesWritten);
    s.Count("bytesWritten", TMsg::CliCountBytes, e.bytesWritten);
}

} // namespace

void Summarize(const TCliOptions& o, const TOutcome& outcome, TRunSummary& s) {
    s.Excluded = outcome.excluded;
    if (!outcome.problem.empty()) s.NotDone.push_back({"*", outcome.problem});
    if (o.command == "list") {
        s.Count("tables", TMsg::CliCountTables, outcome.tables.size());
        s.Count("tablesFit", TMsg::CliCountTablesFit, outcome.fitTables.size());
    } else if (o.command == "backup") {
        SummarizeBackup(o, outcome, s);
    } else if (o.command == "restore") {
        SummarizeRestore(o, outcome, s);
    } else if (o.command == "delete-indexes") {
        s.Count("tables", TMsg::CliCountTables, static_cast<std::uint64_t>(outcome.indexDeletion.Tables));
        s.Count("indexFilesDeleted", TMsg::CliCountIndexFilesDeleted, outcome.indexDeletion.FilesDeleted.size());
    } else if (o.command == "repair-keys") {
        SummarizeKeyRepair(outcome, s);
    } else if (o.command == "check-damage") {
        SummarizeDamageCheck(outcome, s);
    } else if (o.command == "export") {
        SummarizeExport(outcome, s);
    }
}

} // namespace cli
