#include "tools/tablora-cli/CliRunner.h"

#include "database/RestoreIntent.h"
#include "database/OrvDatabaseModule.h"
#include "database/TableFileSet.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/zip/ArchiveVerify.h"
#include "tools/common/RebuildReportText.h"
#include "tools/common/RunNotices.h"
#include "tools/tablora-cli/BackupsCommand.h"
#include "tools/tablora-cli/CheckCommand.h"
#include "tools/tablora-cli/ConsoleUiServices.h"
#include "tools/tablora-cli/DatedBackupRun.h"
#include "tools/tablora-cli/DiffCommand.h"
#include "tools/tablora-cli/ExportCommand.h"
#include "tools/tablora-cli/RunOutcome.h"
#include "tools/tablora-cli/TableSelection.h"
#include "tools/tablora-cli/TerminalProgress.h"

#include <algorithm>
#include <iostream>
#include <memory>

namespace cli {

namespace {

using TKeyResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

// The result in the reader's language, or as a word for scripts (JSON).
std::string KeyResultName(TKeyResult r, rtl::TLanguage language = rtl::Language()) {
    switch (r) {
    case TKeyResult::Passed: return rtl::Text(rtl::TMsg::CliKeyPassed, language);
    case TKeyResult::Repaired: return rtl::Text(rtl::TMsg::CliKeyRepaired, language);
    case TKeyResult::CopyFailed: return rtl::Text(rtl::TMsg::CliKeyCopyFailed, language);
    case TKeyResult::Error: return rtl::Text(rtl::TMsg::CliKeyError, language);
    default: return rtl::Text(rtl::TMsg::CliKeyNotCandidate, language);
    }
}

// One line per table the key-violation repair looked at.
void PrintKeyRepairs(std::ostream& out, const TOutcome& outcome) {
    for (const auto& r : outcome.keyRepairs) {
        out << r.Table << ": " << KeyResultName(r.Result);
        if (r.Result == TKeyResult::Repaired)
            out << rtl::Format(rtl::TMsg::CliKeyRowsBeforeAfter, {std::to_string(r.RowsBefore), std::to_string(r.RowsAfter)});
        else if (r.Result == TKeyResult::CopyFailed)
            out << rtl::Format(rtl::TMsg::CliKeyLeftAsItWas, {r.Reason});
        else if (r.Result == TKeyResult::Error)
            out << ": " << r.Reason;
        else if (r.Result == TKeyResult::NotChecked)
            out << rtl::Text(rtl::TMsg::CliKeyNoAutoIncrement);
        out << '\n';
    }
}

// Quotes every name so that names with blanks or commas travel whole.
std::string QuotedList(const std::vector<std::string>& names) {
    rtl::TStringList list;
    for (const auto& n : names) list.Add(n);
    return list.CommaText();
}

// The tables named for a backup or an index deletion go to the module, which does the rest.
void LimitTables(const TCliOptions& o, database::TOrvDatabaseModule& module, TOutcome& outcome) {
    if (!o.tables.empty()) module.OnlyTables = rtl::SplitCommaText(o.tables);
    if (o.exclude.empty()) return;
    rtl::TStringList all;
    module.ListTableNames(all, false);
    const TTableSelection chosen = SelectTables(all.Items(), "", o.exclude);
    for (const auto& name : chosen.NotInDatabase)
        std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliExcludeNotInDatabase, {name}) << '\n';
    // An empty list would mean every table to the module.
    if (chosen.Tables.empty()) throw rtl::EError(rtl::Format(rtl::TMsg::CliEverythingExcluded, {o.command}));
    module.OnlyTables = chosen.Tables;
    outcome.excluded = chosen.Excluded;
}

void Execute(const TCliOptions& o, database::TOrvDatabaseModule& module, TOutcome& outcome) {
    if (!o.alias.empty())
        module.OpenSourceByAlias(o.alias);
    else
        module.OpenSourceByDirectory(o.dir);
    // Paradox's own lock files say the billing application (or another Paradox program) may
    // have the tables open: a change made now could be lost to it. Said, never removed.
    if (o.command == "repair-keys" || o.command == "check-damage" || o.command == "restore" ||
        o.command == "delete-indexes") {
        const auto locks = engine::paradox::FindParadoxLockFiles(module.DatabaseDirectory());
        if (!locks.empty()) {
            std::string names;
            for (const auto& n : locks) names += (names.empty() ? "" : ", ") + n;
            std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliLockFilesWarning, {names}) << '\n';
        }
    }

    // A run over a directory without tables (an empty or unmounted share) has nothing to do,
    // and a script must not read that as done.
    if ((o.command == "repair-keys" || o.command == "check-damage" || o.command == "delete-indexes" ||
         o.command == "export" || o.command == "list") &&
        database::FindTableFiles(module.DatabaseDirectory(), ".db").Empty()) {
        outcome.problem = rtl::Format(rtl::TMsg::CliNoTableFound, {module.DatabaseDirectory()});
        return;
    }
    // Backup, restore and index deletion touch only the tables named.
    if (o.command == "backup" || o.command == "restore" || o.command == "delete-indexes")
        module.OnlyTables = rtl::SplitCommaText(o.tables);
    // A restore a killed run left waits for the next writer; the list reads the tables as they stand.
    if (o.command == "list") database::NotePendingRestore(module.DatabaseDirectory());
    if (o.command == "list" || ((o.command == "repair-keys" || o.command == "check-damage") && o.allTables)) {
        std::string all, fit;
        module.LoadTableLists(all, fit);
        outcome.tables = rtl::SplitCommaText(all);
        outcome.fitTables = rtl::SplitCommaText(fit);
        if (all.empty()) outcome.tables.clear();
        if (fit.empty()) outcome.fitTables.clear();
    }
    if (o.command == "backup" || o.command == "restore" || o.command == "delete-indexes") LimitTables(o, module, outcome);
    if (o.command == "backup") {
        const std::string& target = outcome.dated.target;
        if (!o.toDir.empty()) {
            module.BackupToDirectory(target, !o.noIndexes, database::CopyModeReplace);
        } else {
            module.BackupToZip(target, !o.noIndexes, database::CopyModeReplace);
            if (o.verify && !module.LastBackup.ArchiveWritten) {
                // What lies there is an older archive, or none: nothing this run may vouch for.
                outcome.verifySkipped = rtl::Text(rtl::TMsg::CliVerifyNotWritten);
                std::cerr << rtl::Format(rtl::TMsg::CliVerifySkipped, {outcome.verifySkipped}) << '\n';
            } else if (o.verify) {
                outcome.verified = true;
                outcome.verify = azip::VerifyArchive(target);
                for (const auto& p : outcome.verify.problems) std::cerr << rtl::Format(rtl::TMsg::CliVerifyProblem, {p}) << '\n';
            }
        }
    } else if (o.command == "restore") {
        // The window's restore quietly does nothing for a missing directory; a script
        // must hear about it.
        if (const std::string why = o.fromDir.empty() ? "" : rtl::WhyNotADirectory(o.fromDir); !why.empty())
            throw rtl::EError(rtl::Format(rtl::TMsg::DbBackupDirectoryIs, {o.fromDir, why}));
        outcome.restored =
            !o.fromDir.empty() ? module.RestoreFromDirectory(o.fromDir, database::CopyModeReplace) : module.RestoreFromZip(o.fromZip);
        // Nothing restored (the message says why): the indexes of the live tables stay.
        if (outcome.restored && o.deleteIndexes) module.DeleteIndexes();
    } else if (o.command == "delete-indexes") {
        module.DeleteIndexes();
    } else if (o.command == "repair-keys") {
        module.RepairKeyViolations(o.allTables ? QuotedList(outcome.fitTables) : o.tables);
    } else if (o.command == "check-damage") {
        const std::string list = o.allTables ? QuotedList(outcome.tables) : o.tables;
        rtl::TStringList names;
        names.SetCommaText(list);
        outcome.damageTables = names.Items();
        outcome.damageRun = true;
        using TKind = database::TStructureChoice::TKind;
        if (!o.structureFrom.empty()) module.StructureFrom = {TKind::Backup, o.structureFrom, false};
        if (!o.backupsIn.empty()) module.StructureFrom = {TKind::NewestIn, o.backupsIn, false};
        module.CheckAndRebuildTables(list);
    } else if (o.command == "export") {
        rtl::TStringList all;
        if (o.tables.empty()) module.ListTableNames(all, false);
        const TTableSelection chosen = SelectTables(all.Items(), o.tables, o.exclude);
        for (const auto& name : chosen.NotInDatabase)
            if (o.tables.empty()) std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliExcludeNotInDatabase, {name}) << '\n';
        outcome.excluded = chosen.Excluded;
        // No name would mean every table to the export.
        if (chosen.Tables.empty()) throw rtl::EError(rtl::Format(rtl::TMsg::CliEverythingExcluded, {o.command}));
        RunExport(o, module, outcome.exported, chosen.Tables);
    }
}

void PrintJson(std::ostream& out, const TCliOptions& o, const TOutcome& outcome, const TConsoleUiServices& console,
               const TRunSummary& summary) {
    tools::TJson json = JsonResult(o.command, summary.Code);
    if (!outcome.error.empty()) json["error"] = outcome.error;
    if (!outcome.problem.empty()) json["problem"] = outcome.problem;
    if (o.command == "list") {
        json["tables"] = tools::TJson::array();
        for (const auto& t : outcome.tables) {
            bool fit = false;
            for (const auto& f : outcome.fitTables) fit = fit || f == t;
            json["tables"].push_back({{"name", t}, {"keyRepairFit", fit}});
        }
    }
    if (o.command == "repair-keys") {
        json["tables"] = tools::TJson::array();
        for (const auto& r : outcome.keyRepairs) {
            tools::TJson table{{"name", r.Table}, {"result", KeyResultName(r.Result, rtl::TLanguage::English)}};
            if (r.RowsBefore >= 0) table["rowsBefore"] = r.RowsBefore;
            if (r.RowsAfter >= 0) table["rowsAfter"] = r.RowsAfter;
            if (!r.Reason.empty()) table["reason"] = r.Reason;
            json["tables"].push_back(std::move(table));
        }
    }
    if (o.command == "backup") WriteDatedBackupJson(json, outcome.dated);
    if (!outcome.backup.StaleIndexesRemoved.empty()) json["staleIndexesRemoved"] = outcome.backup.StaleIndexesRemoved;
    if (!outcome.verifySkipped.empty()) json["verify"] = {{"ok", false}, {"skipped", outcome.verifySkipped}};
    if (outcome.verified)
        json["verify"] = {{"entries", outcome.verify.entries},
                          {"ok", outcome.verify.Ok()},
                          {"problems", outcome.verify.problems}};
    if (outcome.damageRun) {
        json["rebuilds"] = tools::TJson::array();
        for (const auto& r : outcome.rebuilds) json["rebuilds"].push_back(tools::RebuildReportJson(r));
        if (o.keepBackups >= 0) WriteCompanionPruningJson(json, outcome.pruned);
        json["notProcessed"] = tools::TJson::array();
        for (std::size_t i = outcome.rebuilds.size(); i < outcome.damageTables.size(); ++i)
            json["notProcessed"].push_back(outcome.damageTables[i]);
    }
    if (outcome.exported.run) WriteExportJson(json, outcome.exported);
    json["interruptedRuns"] = tools::RunNoticesJson(outcome.notices);
    json["messages"] = tools::TJson::array();
    for (const auto& m : console.Messages()) {
        tools::TJson message{{"caption", m.caption}, {"text", ConsoleText(m.text)}, {"icon", m.icon}};
        if (!m.answer.empty()) message["answer"] = m.answer;
        json["messages"].push_back(std::move(message));
    }
    json["summary"] = SummaryJson(summary);
    tools::PrintJson(out, json);
}

} // namespace

tools::TJson JsonResult(const std::string& command, int code) {
    return {{"command", command}, {"result", ExitCodeWord(code)}, {"exitCode", code}};
}

namespace {

// What the run printed before its summary: one line per table, or what was removed.
void PrintDetails(std::ostream& out, const TCliOptions& o, const TOutcome& outcome, int code) {
    if (o.command == "repair-keys") {
        PrintKeyRepairs(out, outcome);
    } else if (outcome.damageRun) {
        for (const auto& r : outcome.rebuilds) tools::PrintRebuildReport(out, r);
        for (std::size_t i = outcome.rebuilds.size(); i < outcome.damageTables.size(); ++i)
            out << rtl::Format(rtl::TMsg::CliNotProcessed, {outcome.damageTables[i]}) << '\n';
        PrintCompanionPruning(out, outcome.pruned);
    } else if (outcome.exported.run) {
        PrintExport(out, outcome.exported);
    } else if (o.command == "list" && code != ExitError) {
        for (const auto& t : outcome.tables) {
            bool fit = false;
            for (const auto& f : outcome.fitTables) fit = fit || f == t;
            out << t << (fit ? rtl::Text(rtl::TMsg::CliListKeyRepair) : "") << '\n';
        }
    } else if (o.command == "backup") {
        if (outcome.error.empty()) PrintDatedBackup(out, outcome.dated);
        for (const auto& name : outcome.backup.StaleIndexesRemoved)
            out << rtl::Format(rtl::TMsg::CliStaleIndexRemoved, {name}) << '\n';
    }
}

} // namespace

int RunCli(const TCliOptions& o, std::ostream& out) {
    TRunSummary summary;
    summary.Command = o.command;
    // The health report opens no module: a module's session completes journals and locks.
    // The health report and the backup list open no module: a module's session takes locks.
    // Both read tables as they stand, and say so of a table a killed run left mid-change.
    // So does what a restore would change, and a dry run of the restore.
    if (o.command == "check" || o.command == "backups" || o.command == "diff" || (o.command == "restore" && o.dryRun)) {
        const int code = o.command == "check"     ? RunCheck(o, out, summary)
                         : o.command == "backups" ? RunBackupsCommand(o, out, summary)
                                                  : RunDiffCommand(o, out, summary);
        tools::PrintRunNotices(std::cerr, "tablora-cli: ", engine::TakeRunNotices());
        return code;
    }
    TConsoleUiServices console(o.answer, rtl::IsTerminal(rtl::TStandardStream::Input));
    ui::TScopedUiServices scope(console);
    const bool terminal = rtl::IsTerminal(rtl::TStandardStream::Error);
    TTerminalProgress progress;
    TOutcome outcome;
    int code = ExitDone;
    std::unique_ptr<database::TOrvDatabaseModule> module;
    try {
        module = std::make_unique<database::TOrvDatabaseModule>();
        if (terminal) {
            module->ProgressBar = &progress;
            module->StatusPanel = &progress;
        }
        if (o.command == "backup") outcome.dated = StartDatedBackup(o);
        try {
            Execute(o, *module, outcome);
        } catch (...) {
            CollectReports(*module, outcome);
            throw;
        }
        CollectReports(*module, outcome);
        module.reset();
        outcome.notices = engine::TakeRunNotices();
        outcome.problemsShown = !console.Messages().empty() || !outcome.verifySkipped.empty();
        code = FinishedRunCode(o, outcome);
        // A table left as it stood because of what a killed run left is a problem; so, for an
        // export, is a table read in the middle of such a run's change.
        const bool pendingRead = o.command == "export" &&
                                 std::any_of(outcome.notices.begin(), outcome.notices.end(), [](const auto& n) {
                                     return n.Kind == engine::TRunNotice::TKind::ChangePending;
                                 });
        if (code == ExitDone && (engine::AnyTableHeld(outcome.notices) || pendingRead)) code = ExitProblem;
        if (o.command == "backup") {
            // An archive counts as sound only once it was read back (--keep implies --verify).
            FinishDatedBackup(o, code == ExitDone && (o.toZip.empty() || outcome.verified), outcome.dated);
            if (outcome.dated.Problem() && code == ExitDone) code = ExitProblem;
        }
        if (outcome.damageRun) {
            outcome.pruned = PruneCompanions(o, outcome.rebuilds);
            if (PruningProblem(outcome.pruned) && code == ExitDone) code = ExitProblem;
        }
    } catch (const std::exception& e) {
        module.reset();
        outcome.error = e.what();
        code = FailedRunCode(ChangedSomething(o, outcome));
    }
    for (auto& n : engine::TakeRunNotices()) outcome.notices.push_back(std::move(n));
    progress.Finish();
    tools::PrintRunNotices(std::cerr, "tablora-cli: ", outcome.notices);
    // A restore a killed run left was completed: said once, as a note.
    if (outcome.interruptedRestore.Completed)
        std::cerr << "tablora-cli: "
                  << ConsoleText(rtl::Format(rtl::TMsg::InterruptedRestoreCompleted,
                                             {outcome.interruptedRestore.Source,
                                              QuotedList(outcome.interruptedRestore.TablesRestored)}))
                  << '\n';
    if (!outcome.error.empty()) std::cerr << "tablora-cli: " << ConsoleText(outcome.error) << '\n';
    if (!outcome.problem.empty()) std::cerr << "tablora-cli: " << outcome.problem << '\n';
    Summarize(o, outcome, summary);
    summary.Finish(code);
    if (o.json) {
        PrintJson(out, o, outcome, console, summary);
        return code;
    }
    PrintDetails(out, o, outcome, code);
    // The table list is read by scripts a line at a time: it is its own summary (--json has one).
    if (o.command != "list") PrintSummary(out, summary);
    return code;
}

} // namespace cli
