#include "tools/tablora-cli/CheckCommand.h"

#include "database/RestoreIntent.h"
#include "database/DatabaseHealth.h"
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliRunner.h"

#include <iostream>

namespace cli {

namespace {

using database::TTableHealth;
using TTool = database::THealthAdvice::TTool;
using rtl::TMsg;

std::string Joined(const std::vector<std::string>& items, const char* separator = ", ") {
    std::string out;
    for (const auto& i : items) out += (out.empty() ? "" : separator) + i;
    return out;
}

TMsg PrimaryIndexText(TTableHealth::TPrimaryIndex p) {
    switch (p) {
    case TTableHealth::TPrimaryIndex::Unkeyed: return TMsg::CheckIndexUnkeyed;
    case TTableHealth::TPrimaryIndex::Agrees: return TMsg::CheckIndexAgrees;
    case TTableHealth::TPrimaryIndex::Missing: return TMsg::CheckIndexMissing;
    case TTableHealth::TPrimaryIndex::Disagrees: return TMsg::CheckIndexDisagrees;
    default: return TMsg::CheckNotChecked;
    }
}

std::string CounterText(const TTableHealth& t) {
    if (!t.CounterChecked) return rtl::Text(TMsg::CheckNoAutoIncrement);
    if (!t.OpenError.empty() || t.PasswordProtected) return rtl::Text(TMsg::CheckNotChecked);
    const std::string c = std::to_string(t.Counter);
    if (t.NextKeyTaken) return rtl::Format(TMsg::CheckCounterNextTaken, {c, std::to_string(t.Counter + 1ull)});
    if (t.KeysAboveCounter > 0)
        return rtl::Format(TMsg::CheckCounterKeysAbove,
                           {c, std::to_string(t.KeysAboveCounter), std::to_string(t.LargestKey)});
    if (t.DuplicateKeys > 0) return rtl::Format(TMsg::CheckCounterDuplicates, {c, std::to_string(t.DuplicateKeys)});
    return rtl::Format(TMsg::CheckCounterOk, {c});
}

// The key repair's leftover, as the next repair-keys run would judge it.
std::string WorkTableText(const TTableHealth& t) {
    const std::string rows =
        rtl::Format(TMsg::CheckWorkRows, {std::to_string(t.WorkTableRows.Rows), std::to_string(t.TableRows.Rows)});
    switch (t.WorkTableVerdict) {
    case database::TLeftoverVerdict::LeftoverNotWhole: return rtl::Format(TMsg::CheckWorkNotWhole, {t.WorkTableRows.Problem});
    case database::TLeftoverVerdict::TableNotWhole:
        return rtl::Format(TMsg::CheckWorkTableNotWhole, {rows, t.TableRows.Problem});
    case database::TLeftoverVerdict::MoreRowsThanTable: return rtl::Format(TMsg::CheckWorkMoreRows, {rows});
    default: return rtl::Format(TMsg::CheckWorkDeletable, {rows});
    }
}

// One line per table, then one indented line per problem found.
void PrintTable(std::ostream& out, const TTableHealth& t) {
    out << t.Name << ": " << rtl::Text(t.Healthy() ? TMsg::CheckHealthy : TMsg::CheckProblem);
    if (!t.OpenError.empty()) {
        out << rtl::Format(TMsg::CheckCannotBeRead, {t.OpenError}) << '\n';
        return;
    }
    const std::string inHeader = std::to_string(t.RowsInHeader);
    if (t.PasswordProtected) out << rtl::Format(TMsg::CheckRowsNotReadable, {inHeader});
    else out << rtl::Format(TMsg::CheckRows, {std::to_string(t.RowsReadable)});
    if (!t.PasswordProtected && t.RowsReadable != t.RowsInHeader) out << rtl::Format(TMsg::CheckHeaderSays, {inHeader});
    out << rtl::Format(TMsg::CheckStructure,
                       {t.PasswordProtected ? rtl::Text(TMsg::CheckNotChecked)
                        : t.Damage.empty()  ? rtl::Text(TMsg::CheckOk)
                                            : rtl::Format(TMsg::CheckProblemCount, {std::to_string(t.Damage.size())})});
    out << rtl::Format(TMsg::CheckPrimaryIndex, {rtl::Text(PrimaryIndexText(t.PrimaryIndex))});
    out << rtl::Format(TMsg::CheckCounter, {CounterText(t)});
    out << rtl::Format(TMsg::CheckPassword, {rtl::Text(t.PasswordProtected ? TMsg::CliAnswerYes : TMsg::CliAnswerNo)});
    if (!t.CaseTwins.empty()) out << rtl::Format(TMsg::CheckCaseTwins, {Joined(t.CaseTwins)});
    if (!t.Leftovers.empty()) out << rtl::Format(TMsg::CheckLeftovers, {Joined(t.Leftovers)});
    if (t.JournalPending)
        out << rtl::Text(TMsg::CheckChangePending)
            << (t.JournalRefused.empty() ? std::string() : rtl::Format(TMsg::CheckChangeRefused, {t.JournalRefused}));
    out << '\n';
    for (const auto& d : t.Damage) out << rtl::Format(TMsg::CheckDamageLine, {d}) << '\n';
    for (const auto& d : t.IndexProblems) out << rtl::Format(TMsg::CheckIndexLine, {d}) << '\n';
    if (!t.KeyOrderNote.empty()) out << rtl::Format(TMsg::CheckNoteLine, {t.KeyOrderNote}) << '\n';
    if (!t.WorkTable.empty()) out << rtl::Format(TMsg::CheckWorkTableLine, {t.WorkTable, WorkTableText(t)}) << '\n';
}

// The advice's commands are pasted into a shell: a word with anything but plain characters
// goes in single quotes.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                               "0123456789_./,:=@%+-") == std::string::npos;
    if (plain) return word;
    std::string out = "'";
    for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string SourceArgs(const TCliOptions& o) {
    return o.alias.empty() ? "--dir " + ShellWord(o.dir) : "--alias " + ShellWord(o.alias);
}

std::string TableArg(const std::vector<std::string>& tables) {
    rtl::TStringList list;
    for (const auto& t : tables) list.Add(t);
    return ShellWord(list.CommaText());
}

const char* ToolName(TTool tool) {
    switch (tool) {
    case TTool::CompleteInterruptedChanges: return "complete-interrupted";
    case TTool::StopOtherPrograms: return "stop-other-programs";
    case TTool::KeyRepair: return "repair-keys";
    case TTool::DamageCheck: return "check-damage";
    case TTool::Restore: return "restore";
    case TTool::FileAccess: return "file-access";
    case TTool::InspectLeftovers: return "inspect-leftovers";
    case TTool::ResolveCaseTwins: return "resolve-case-twins";
    case TTool::RestoreFromBackup: return "restore-from-backup";
    default: return "password-protected";
    }
}

std::string AdviceText(const TCliOptions& o, const database::THealthReport& r, const database::THealthAdvice& a) {
    const std::string src = SourceArgs(o), tables = TableArg(a.Tables);
    switch (a.Tool) {
    case TTool::CompleteInterruptedChanges:
        return rtl::Format(TMsg::CheckAdviceComplete, {Joined(a.Tables), src});
    case TTool::StopOtherPrograms:
        return rtl::Format(TMsg::CheckAdviceStopOthers, {Joined(r.LockFiles)});
    case TTool::KeyRepair:
        return rtl::Format(TMsg::CheckAdviceKeyRepair, {"tablora-cli repair-keys " + src + " --tables " + tables});
    case TTool::DamageCheck:
        return rtl::Format(TMsg::CheckAdviceDamage, {"tablora-cli check-damage " + src + " --tables " + tables});
    case TTool::Restore:
        return rtl::Format(TMsg::CheckAdviceRestore, {Joined(a.Tables), src});
    case TTool::FileAccess:
        return rtl::Format(TMsg::CheckAdviceFileAccess, {Joined(a.Tables)});
    case TTool::InspectLeftovers:
        return rtl::Format(r.PendingJournals.empty() ? TMsg::CheckAdviceLeftoversCompare : TMsg::CheckAdviceLeftoversWait,
                           {Joined(r.Leftovers)});
    case TTool::RestoreFromBackup: {
        const std::string table = a.Tables.empty() ? std::string() : a.Tables.front();
        if (a.Backup.empty())
            return rtl::Format(rtl::TMsg::CliAdviceNoBackupWithRows, {table, std::to_string(a.RowsNow), o.backupsIn});
        const std::string from = rtl::DirectoryExists(a.Backup) ? " --from-dir " : " --from-zip ";
        return rtl::Format(rtl::TMsg::CliAdviceRestoreFromBackup,
                           {table, std::to_string(a.RowsNow), a.Backup, std::to_string(a.BackupRows),
                            "tablora-cli restore " + src + from + ShellWord(a.Backup) + " --tables " + tables});
    }
    case TTool::ResolveCaseTwins: {
        std::vector<std::string> groups;
        for (const auto& g : r.CaseTwins) groups.push_back(Joined(g, " / "));
        return rtl::Format(TMsg::CheckAdviceCaseTwins, {Joined(groups)});
    }
    default:
        return rtl::Format(TMsg::CheckAdvicePassword, {Joined(a.Tables)});
    }
}

void PrintJson(std::ostream& out, const TCliOptions& o, const database::THealthReport& r, const std::string& error,
               const TRunSummary& summary) {
    const int code = summary.Code;
    tools::TJson json = JsonResult(o.command, code);
    if (!error.empty()) json[code == ExitError ? "error" : "problem"] = error;
    json["directory"] = r.Directory;
    json["healthy"] = code == ExitDone;
    json["tables"] = tools::TJson::array();
    for (const auto& t : r.Tables) {
        tools::TJson table;
        table["name"] = t.Name;
        table["healthy"] = t.Healthy();
        if (!t.OpenError.empty()) table["openError"] = t.OpenError;
        if (t.ReadRefused) table["readRefused"] = true;
        table["rowsReadable"] = t.RowsReadable;
        table["rowsInHeader"] = t.RowsInHeader;
        table["passwordProtected"] = t.PasswordProtected;
        table["damage"] = t.Damage;
        // A word for scripts: the same in every language.
        table["primaryIndex"] = rtl::Text(PrimaryIndexText(t.PrimaryIndex), rtl::TLanguage::English);
        table["indexProblems"] = t.IndexProblems;
        if (!t.KeyOrderNote.empty()) table["keyOrderNote"] = t.KeyOrderNote;
        table["counter"] = {{"checked", t.CounterChecked},
                            {"keyRepairFit", t.KeyRepairFit},
                            {"value", t.Counter},
                            {"largestKey", t.LargestKey},
                            {"nextKeyTaken", t.NextKeyTaken},
                            {"keysAboveCounter", t.KeysAboveCounter},
                            {"duplicateKeys", t.DuplicateKeys}};
        table["caseTwins"] = t.CaseTwins;
        table["leftovers"] = t.Leftovers;
        table["journalPending"] = t.JournalPending;
        if (!t.JournalRefused.empty()) table["journalRefused"] = t.JournalRefused;
        if (!t.WorkTable.empty())
            table["workTable"] = {{"file", t.WorkTable},
                                  {"rows", t.WorkTableRows.Rows},
                                  {"tableRows", t.TableRows.Rows},
                                  {"repairDeletesIt", t.WorkTableVerdict == database::TLeftoverVerdict::Deletable},
                                  {"text", WorkTableText(t)}};
        json["tables"].push_back(std::move(table));
    }
    json["missingTables"] = r.MissingTables;
    json["excludedTables"] = r.Excluded;
    json["lockFiles"] = r.LockFiles;
    json["pendingJournals"] = r.PendingJournals;
    json["leftovers"] = r.Leftovers;
    json["caseTwins"] = tools::TJson::array();
    for (const auto& group : r.CaseTwins) json["caseTwins"].push_back(group);
    json["advice"] = tools::TJson::array();
    for (const auto& a : r.Advice) {
        tools::TJson advice{{"tool", ToolName(a.Tool)}, {"tables", a.Tables}, {"text", AdviceText(o, r, a)}};
        if (a.Tool == TTool::RestoreFromBackup) {
            advice["backup"] = a.Backup.empty() ? tools::TJson() : tools::TJson(a.Backup);
            advice["backupRows"] = a.BackupRows;
            advice["rowsNow"] = a.RowsNow;
        }
        json["advice"].push_back(std::move(advice));
    }
    json["summary"] = SummaryJson(summary);
    tools::PrintJson(out, json);
}

void Summarize(const database::THealthReport& report, TRunSummary& summary) {
    std::uint64_t healthy = 0;
    for (const auto& t : report.Tables) healthy += t.Healthy() ? 1 : 0;
    summary.Count("tablesChecked", rtl::TMsg::CliCountTablesChecked, report.Tables.size());
    summary.Count("tablesHealthy", rtl::TMsg::CliCountTablesHealthy, healthy);
    summary.Count("tablesWithProblems", rtl::TMsg::CliCountTablesWithProblems, report.Tables.size() - healthy);
    for (const auto& name : report.Excluded) summary.Excluded.push_back({name, rtl::Text(rtl::TMsg::CliWhyExcluded)});
    for (const auto& name : report.MissingTables)
        summary.NotDone.push_back({name, rtl::Text(rtl::TMsg::CliWhyNotInDatabase)});
}

} // namespace

std::string SourceDirectory(const TCliOptions& o) {
    if (o.alias.empty()) return o.dir;
    const std::string path = engine::TAliasConfig::Load().Params(o.alias).Value("PATH");
    if (path.empty()) throw rtl::EError(rtl::Format(TMsg::EngineAliasWithoutPath, {o.alias}));
    return path;
}

int RunCheck(const TCliOptions& o, std::ostream& out, TRunSummary& summary) {
    database::THealthReport report;
    std::string error, problem;
    int code = ExitDone;
    try {
        const std::string directory = SourceDirectory(o);
        database::NotePendingRestore(directory);
        report = database::CheckDatabaseHealth(directory, o.allTables ? std::vector<std::string>{}
                                                                      : rtl::SplitCommaText(o.tables),
                                               rtl::SplitCommaText(o.exclude));
        if (!o.backupsIn.empty()) database::AdviseRestoreFromBackups(report, o.backupsIn);
        // An empty or unmounted share has nothing healthy about it: a script must not read "done".
        if (report.Tables.empty() && report.MissingTables.empty()) {
            problem = report.Excluded.empty() ? rtl::Format(TMsg::CliNoTableFound, {report.Directory})
                                              : rtl::Format(TMsg::CliEverythingExcluded, {o.command});
            code = ExitError;
        } else {
            code = report.Healthy() ? ExitDone : ExitProblem;
        }
    } catch (const std::exception& e) {
        error = e.what();
        code = ExitError;
    }
    if (!error.empty()) std::cerr << "tablora-cli: " << error << '\n';
    if (!problem.empty()) std::cerr << "tablora-cli: " << problem << '\n';
    Summarize(report, summary);
    summary.Finish(code);
    if (o.json) {
        PrintJson(out, o, report, error.empty() ? problem : error, summary);
        return code;
    }
    if (!error.empty()) {
        PrintSummary(out, summary);
        return code;
    }
    for (const auto& t : report.Tables) PrintTable(out, t);
    std::size_t healthy = 0;
    for (const auto& t : report.Tables) healthy += t.Healthy() ? 1 : 0;
    out << "\n"
        << rtl::Format(TMsg::CheckFooter, {std::to_string(report.Tables.size()), report.Directory, std::to_string(healthy),
                                           std::to_string(report.Tables.size() - healthy)})
        << '\n';
    if (!report.Excluded.empty()) out << rtl::Format(TMsg::CheckExcludedLine, {Joined(report.Excluded)}) << '\n';
    if (!report.MissingTables.empty()) out << rtl::Format(TMsg::CheckNotFoundLine, {Joined(report.MissingTables)}) << '\n';
    if (!report.LockFiles.empty()) out << rtl::Format(TMsg::CheckLockFilesLine, {Joined(report.LockFiles)}) << '\n';
    if (!report.PendingJournals.empty())
        out << rtl::Format(TMsg::CheckPendingLine, {Joined(report.PendingJournals)}) << '\n';
    if (!report.Leftovers.empty()) out << rtl::Format(TMsg::CheckLeftoversLine, {Joined(report.Leftovers)}) << '\n';
    for (const auto& a : report.Advice) out << rtl::Format(TMsg::CheckAdviceLine, {AdviceText(o, report, a)}) << '\n';
    if (code == ExitDone) out << rtl::Text(TMsg::CheckAllHealthy) << '\n';
    PrintSummary(out, summary);
    return code;
}

} // namespace cli
