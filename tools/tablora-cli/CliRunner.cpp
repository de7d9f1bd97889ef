#include "tools/tablora-cli/CliRunner.h"

#include "database/OrvDatabaseModule.h"
#include "database/TableFileSet.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/zip/ArchiveVerify.h"
#include "tools/common/RebuildReportText.h"
#include "tools/common/RunNotices.h"
#include "tools/tablora-cli/BackupsCommand.h"
#include "tools/tablora-cli/CheckCommand.h"
#include "tools/tablora-cli/ConsoleUiServices.h"
#include "tools/tablora-cli/DatedBackupRun.h"
#include "tools/tablora-cli/ExportCommand.h"
#include "tools/tablora-cli/TerminalProgress.h"


#include <algorithm>
#include <iostream>
#include <memory>

namespace cli {

namespace {

struct Outcome {
    std::vector<std::string> tables, fitTables;  // list
    std::string error;
    azip::ArchiveCheck verify;
    bool verified = false;
    std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome> keyRepairs;  // repair-keys
    std::string verifySkipped;  // why --verify did not read the archive
    std::vector<std::string> staleIndexesRemoved;  // backup --to-dir --no-indexes
    // check-damage: the tables asked for, and what each rebuild did (in order, up to the
    // table where the run stopped).
    std::vector<std::string> damageTables;
    std::vector<tutil::TRebuildReport> rebuilds;
    bool damageRun = false;
    std::string problem;  // why the run did nothing, when it is no error
    ExportOutcome exported;
    TDatedBackupRun dated;  // backup: the name made and what --keep deleted
    std::vector<TCompanionPruning> pruned;  // check-damage --keep-backups
    std::vector<engine::TRunNotice> notices;  // what the run found of killed runs
};

using TKeyResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

const char* KeyResultName(TKeyResult r) {
    switch (r) {
    case TKeyResult::Passed: return "passed";
    case TKeyResult::Repaired: return "repaired";
    case TKeyResult::CopyFailed: return "copy failed";
    case TKeyResult::Error: return "error";
    default: return "not a candidate";
    }
}

// One line per table the key-violation repair looked at.
void PrintKeyRepairs(std::ostream& out, const Outcome& outcome) {
    for (const auto& r : outcome.keyRepairs) {
        out << r.Table << ": " << KeyResultName(r.Result);
        if (r.Result == TKeyResult::Repaired)
            out << " (" << r.RowsBefore << " rows before, " << r.RowsAfter << " after)";
        else if (r.Result == TKeyResult::CopyFailed)
            out << " (" << r.Reason << "); the table was left as it was";
        else if (r.Result == TKeyResult::Error)
            out << ": " << r.Reason;
        else if (r.Result == TKeyResult::NotChecked)
            out << " (no autoincrement IDXFIELD first with the primary index on it)";
        out << '\n';
    }
}

// Quotes every name so that names with blanks or commas travel whole.
std::string QuotedList(const std::vector<std::string>& names) {
    rtl::TStringList list;
    for (const auto& n : names) list.Add(n);
    return list.CommaText();
}

void Execute(const CliOptions& o, database::TOrvDatabaseModule& module, Outcome& outcome) {
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
            std::cerr << "tablora-cli: warning: Paradox lock files in the database directory (" << names
                      << "): another program may have its tables open; stop it before repairing or restoring\n";
        }
    }

    // A run over a directory without tables (an empty or unmounted share) has nothing to do,
    // and a script must not read that as done.
    if ((o.command == "repair-keys" || o.command == "check-damage" || o.command == "delete-indexes" ||
         o.command == "export") &&
        database::FindTableFiles(module.DatabaseDirectory(), ".db").Empty()) {
        outcome.problem = "no table found in the database directory \"" + module.DatabaseDirectory() + "\"";
        return;
    }
    if (o.command == "list" || ((o.command == "repair-keys" || o.command == "check-damage") && o.allTables)) {
        std::string all, fit;
        module.LoadTableLists(all, fit);
        outcome.tables = rtl::SplitCommaText(all);
        outcome.fitTables = rtl::SplitCommaText(fit);
        if (all.empty()) outcome.tables.clear();
        if (fit.empty()) outcome.fitTables.clear();
    }
    if (o.command == "backup") {
        const std::string& target = outcome.dated.target;
        if (!o.toDir.empty()) {
            module.BackupToDirectory(target, !o.noIndexes, 3);
            outcome.staleIndexesRemoved = module.LastBackup.StaleIndexesRemoved;
        } else {
            module.BackupToZip(target, !o.noIndexes, 3);
            if (o.verify && !module.LastBackup.ArchiveWritten) {
                // What lies there is an older archive, or none: nothing this run may vouch for.
                outcome.verifySkipped = "the backup did not write the archive";
                std::cerr << "verify: skipped, " << outcome.verifySkipped << '\n';
            } else if (o.verify) {
                outcome.verified = true;
                outcome.verify = azip::VerifyArchive(target);
                for (const auto& p : outcome.verify.problems) std::cerr << "verify: " << p << '\n';
            }
        }
    } else if (o.command == "restore") {
        // The window's restore quietly does nothing for a missing directory; a script
        // must hear about it.
        if (const std::string why = o.fromDir.empty() ? "" : rtl::WhyNotADirectory(o.fromDir); !why.empty())
            throw rtl::EError("The backup directory \"" + o.fromDir + "\" " + why + ".");
        const bool restored =
            !o.fromDir.empty() ? module.RestoreFromDirectory(o.fromDir, 3) : module.RestoreFromZip(o.fromZip);
        // Nothing restored (the message says why): the indexes of the live tables stay.
        if (restored && o.deleteIndexes) module.DeleteIndexes();
    } else if (o.command == "delete-indexes") {
        module.DeleteIndexes();
    } else if (o.command == "repair-keys") {
        try {
            module.RepairKeyViolations(o.allTables ? QuotedList(outcome.fitTables) : o.tables);
        } catch (...) {
            outcome.keyRepairs = module.KeyRepairOutcomes;
            throw;
        }
        outcome.keyRepairs = module.KeyRepairOutcomes;
    } else if (o.command == "check-damage") {
        const std::string list = o.allTables ? QuotedList(outcome.tables) : o.tables;
        rtl::TStringList names;
        names.SetCommaText(list);
        outcome.damageTables = names.Items();
        outcome.damageRun = true;
        module.CheckAndRebuildTables(list);
        outcome.rebuilds = module.RebuildReports;
    } else if (o.command == "export") {
        RunExport(o, module, outcome.exported);
    }
}

void PrintJson(std::ostream& out, const CliOptions& o, const Outcome& outcome, const ConsoleUiServices& console,
               int code) {
    tools::TJson json = JsonResult(o.command, code);
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
            tools::TJson table{{"name", r.Table}, {"result", KeyResultName(r.Result)}};
            if (r.RowsBefore >= 0) table["rowsBefore"] = r.RowsBefore;
            if (r.RowsAfter >= 0) table["rowsAfter"] = r.RowsAfter;
            if (!r.Reason.empty()) table["reason"] = r.Reason;
            json["tables"].push_back(std::move(table));
        }
    }
    if (o.command == "backup") WriteDatedBackupJson(json, outcome.dated);
    if (!outcome.staleIndexesRemoved.empty()) json["staleIndexesRemoved"] = outcome.staleIndexesRemoved;
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
    tools::PrintJson(out, json);
}

} // namespace

tools::TJson JsonResult(const std::string& command, int code) {
    return {{"command", command},
            {"result", code == ExitDone ? "done" : code == ExitProblem ? "problem" : "error"},
            {"exitCode", code}};
}

int RunCli(const CliOptions& o, std::ostream& out) {
    // The health report opens no module: a module's session takes locks. Both read tables as
    // they stand, and say so of a table a killed run left in the middle of a change.
    if (o.command == "check" || o.command == "backups") {
        const int code = o.command == "check" ? RunCheck(o, out) : RunBackupsCommand(o, out);
        tools::PrintRunNotices(std::cerr, "tablora-cli: ", engine::TakeRunNotices());
        return code;
    }
    ConsoleUiServices console(o.answer, rtl::IsTerminal(rtl::TStandardStream::Input));
    ui::ScopedUiServices scope(console);
    const bool terminal = rtl::IsTerminal(rtl::TStandardStream::Error);
    TerminalProgress progress;
    Outcome outcome;
    int code = ExitDone;
    try {
        auto module = std::make_unique<database::TOrvDatabaseModule>();
        if (terminal) {
            module->ProgressBar = &progress;
            module->StatusPanel = &progress;
        }
        if (o.command == "backup") outcome.dated = StartDatedBackup(o);
        Execute(o, *module, outcome);
        module.reset();
        outcome.notices = engine::TakeRunNotices();
        // Every message box the operations show reports a problem: success is silent. So does
        // a table left as it stood because of what a killed run left, and, for an export, a
        // table read in the middle of such a run's change.
        const bool pendingRead = o.command == "export" &&
                                 std::any_of(outcome.notices.begin(), outcome.notices.end(), [](const auto& n) {
                                     return n.Kind == engine::TRunNotice::TKind::ChangePending;
                                 });
        if (!outcome.problem.empty() || !console.Messages().empty() || (outcome.verified && !outcome.verify.Ok()) || !outcome.verifySkipped.empty() ||
            outcome.exported.HadProblems() || engine::AnyTableHeld(outcome.notices) || pendingRead)
            code = ExitProblem;
        if (o.command == "backup") {
            // An archive counts as sound only once it was read back (--keep implies --verify).
            FinishDatedBackup(o, code == ExitDone && (o.toZip.empty() || outcome.verified), outcome.dated);
            if (outcome.dated.Problem()) code = ExitProblem;
        }
        if (outcome.damageRun) {
            outcome.pruned = PruneCompanions(o, outcome.rebuilds);
            if (PruningProblem(outcome.pruned)) code = ExitProblem;
        }
    } catch (const std::exception& e) {
        outcome.error = e.what();
        code = ExitError;
    }
    for (auto& n : engine::TakeRunNotices()) outcome.notices.push_back(std::move(n));
    progress.Finish();
    tools::PrintRunNotices(std::cerr, "tablora-cli: ", outcome.notices);
    if (!outcome.error.empty()) std::cerr << "tablora-cli: " << ConsoleText(outcome.error) << '\n';
    if (!outcome.problem.empty()) std::cerr << "tablora-cli: " << outcome.problem << '\n';
    if (o.json) {
        PrintJson(out, o, outcome, console, code);
    } else if (o.command == "repair-keys") {
        PrintKeyRepairs(out, outcome);
    } else if (outcome.damageRun) {
        for (const auto& r : outcome.rebuilds) tools::PrintRebuildReport(out, r);
        for (std::size_t i = outcome.rebuilds.size(); i < outcome.damageTables.size(); ++i)
            out << outcome.damageTables[i] << ": not processed (the run stopped before it)\n";
        PrintCompanionPruning(out, outcome.pruned);
    } else if (outcome.exported.run) {
        PrintExport(out, outcome.exported);
    } else if (o.command == "list" && code != ExitError) {
        for (const auto& t : outcome.tables) {
            bool fit = false;
            for (const auto& f : outcome.fitTables) fit = fit || f == t;
            out << t << (fit ? "\t(key repair)" : "") << '\n';
        }
    } else {
        if (o.command == "backup" && code != ExitError) PrintDatedBackup(out, outcome.dated);
        for (const auto& name : outcome.staleIndexesRemoved)
            out << "removed stale index file from the backup directory: " << name << '\n';
    }
    return code;
}

} // namespace cli
