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

std::string Joined(const std::vector<std::string>& items, const char* separator = ", ") {
    std::string out;
    for (const auto& i : items) out += (out.empty() ? "" : separator) + i;
    return out;
}

// The directory, as the other commands take it: the alias is read from the engine's
// configuration file only, never through a session (which would complete journals).
std::string SourceDirectory(const CliOptions& o) {
    if (o.alias.empty()) return o.dir;
    const std::string path = engine::AliasConfig::Load().Params(o.alias).Value("PATH");
    if (path.empty()) throw rtl::EError("The database alias \"" + o.alias + "\" has no PATH parameter.");
    return path;
}

const char* PrimaryIndexText(TTableHealth::TPrimaryIndex p) {
    switch (p) {
    case TTableHealth::TPrimaryIndex::Unkeyed: return "none (unkeyed)";
    case TTableHealth::TPrimaryIndex::Agrees: return "agrees";
    case TTableHealth::TPrimaryIndex::Missing: return "missing";
    case TTableHealth::TPrimaryIndex::Disagrees: return "disagrees with the data";
    default: return "not checked";
    }
}

std::string CounterText(const TTableHealth& t) {
    if (!t.CounterChecked) return "no autoincrement key";
    if (!t.OpenError.empty() || t.PasswordProtected) return "not checked";
    const std::string c = std::to_string(t.Counter);
    if (t.NextKeyTaken) return c + ", next key " + std::to_string(t.Counter + 1ull) + " is already stored";
    if (t.KeysAboveCounter > 0)
        return c + ", " + std::to_string(t.KeysAboveCounter) + " stored key(s) above it (up to " +
               std::to_string(t.LargestKey) + ")";
    if (t.DuplicateKeys > 0) return c + ", " + std::to_string(t.DuplicateKeys) + " key value(s) stored twice";
    return c + ", ok";
}

// The key repair's leftover, as the next repair-keys run would judge it.
std::string WorkTableText(const TTableHealth& t) {
    const std::string rows = std::to_string(t.WorkTableRows.Rows) + " row(s), the table " +
                             std::to_string(t.TableRows.Rows);
    switch (t.WorkTableVerdict) {
    case database::TLeftoverVerdict::LeftoverNotWhole:
        return "does not read whole (" + t.WorkTableRows.Problem + "); repair-keys keeps it and refuses the table";
    case database::TLeftoverVerdict::TableNotWhole:
        return rows + ", but the table does not read whole (" + t.TableRows.Problem +
               "); repair-keys keeps it and refuses the table";
    case database::TLeftoverVerdict::MoreRowsThanTable:
        return rows + ": it may hold the only copy of some rows; repair-keys keeps it and refuses the table";
    default: return rows + ": it holds nothing the table lacks; repair-keys deletes it";
    }
}

// One line per table, then one indented line per problem found.
void PrintTable(std::ostream& out, const TTableHealth& t) {
    out << t.Name << ": " << (t.Healthy() ? "healthy" : "PROBLEM");
    if (!t.OpenError.empty()) {
        out << "; cannot be read: " << t.OpenError << '\n';
        return;
    }
    if (t.PasswordProtected) out << "; rows not readable (header says " << t.RowsInHeader << ")";
    else out << "; rows " << t.RowsReadable;
    if (!t.PasswordProtected && t.RowsReadable != t.RowsInHeader) out << " (header says " << t.RowsInHeader << ")";
    out << "; structure " << (t.PasswordProtected ? "not checked" : t.Damage.empty() ? "ok" : std::to_string(t.Damage.size()) + " problem(s)");
    out << "; primary index " << PrimaryIndexText(t.PrimaryIndex);
    out << "; counter " << CounterText(t);
    out << "; password " << (t.PasswordProtected ? "yes" : "no");
    if (!t.CaseTwins.empty()) out << "; letter-case twins " << Joined(t.CaseTwins);
    if (!t.Leftovers.empty()) out << "; leftovers " << Joined(t.Leftovers);
    if (t.JournalPending)
        out << "; interrupted change pending"
            << (t.JournalRefused.empty() ? std::string() : " (will not be carried out: " + t.JournalRefused + ")");
    out << '\n';
    for (const auto& d : t.Damage) out << "  damage: " << d << '\n';
    for (const auto& d : t.IndexProblems) out << "  index: " << d << '\n';
    if (!t.KeyOrderNote.empty()) out << "  note: " << t.KeyOrderNote << '\n';
    if (!t.WorkTable.empty()) out << "  work table " << t.WorkTable << ": " << WorkTableText(t) << '\n';
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

std::string SourceArgs(const CliOptions& o) {
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

std::string AdviceText(const CliOptions& o, const database::THealthReport& r, const database::THealthAdvice& a) {
    const std::string src = SourceArgs(o), tables = TableArg(a.Tables);
    switch (a.Tool) {
    case TTool::CompleteInterruptedChanges:
        return "an interrupted change of " + Joined(a.Tables) +
               " waits: the next command that writes the database completes each one whose files are as it left "
               "them (a backup does, tablora-cli backup " + src + " --to-zip FILE); then check again";
    case TTool::StopOtherPrograms:
        return "Paradox lock files (" + Joined(r.LockFiles) +
               "): stop the billing application before any repair or restore";
    case TTool::KeyRepair:
        return "the autoincrement counter collides with stored keys: tablora-cli repair-keys " + src + " --tables " + tables;
    case TTool::DamageCheck:
        return "damaged tables or indexes: tablora-cli check-damage " + src + " --tables " + tables;
    case TTool::Restore:
        return "tables that cannot be read (" + Joined(a.Tables) + "): restore them from a backup (tablora-cli restore " + src +
               " --from-zip FILE | --from-dir DIR)";
    case TTool::FileAccess:
        return "tables whose files could not be read (" + Joined(a.Tables) +
               "): check the rights and the share, then check again; they may be whole";
    case TTool::InspectLeftovers:
        return "work files of an interrupted repair (" + Joined(r.Leftovers) + ") may hold the only copy of rows" +
               (r.PendingJournals.empty() ? std::string(": compare them with their tables before removing them")
                                          : std::string(": check again once the interrupted changes are completed, "
                                                        "which may take some of them into place"));
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
        return "files that differ only in letter case (" + Joined(groups) +
               "): the tools take the spelling asked for; keep one of each";
    }
    default:
        return "password-protected tables (" + Joined(a.Tables) + ") cannot be read or repaired by these tools";
    }
}

void PrintJson(std::ostream& out, const CliOptions& o, const database::THealthReport& r, const std::string& error,
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
        table["primaryIndex"] = PrimaryIndexText(t.PrimaryIndex);
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

int RunCheck(const CliOptions& o, std::ostream& out, TRunSummary& summary) {
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
            problem = report.Excluded.empty()
                          ? "no table found in the database directory \"" + report.Directory + "\""
                          : rtl::Format(rtl::TMsg::CliEverythingExcluded, {o.command});
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
    out << "\n" << report.Tables.size() << " table(s) checked in " << report.Directory << ": " << healthy
        << " healthy, " << report.Tables.size() - healthy << " with problems\n";
    if (!report.Excluded.empty()) out << "excluded: " << Joined(report.Excluded) << '\n';
    if (!report.MissingTables.empty()) out << "not found: " << Joined(report.MissingTables) << '\n';
    if (!report.LockFiles.empty()) out << "Paradox lock files: " << Joined(report.LockFiles) << '\n';
    if (!report.PendingJournals.empty()) out << "interrupted changes pending: " << Joined(report.PendingJournals) << '\n';
    if (!report.Leftovers.empty()) out << "leftovers of interrupted repairs: " << Joined(report.Leftovers) << '\n';
    for (const auto& a : report.Advice) out << "advice: " << AdviceText(o, report, a) << '\n';
    if (code == ExitDone) out << "the database is healthy; nothing to do\n";
    PrintSummary(out, summary);
    return code;
}

} // namespace cli
