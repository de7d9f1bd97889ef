#include "tools/tablora-cli/DiffCommand.h"

#include "database/BackupDiff.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CheckCommand.h"
#include "tools/tablora-cli/CliRunner.h"
#include "tools/tablora-cli/ExitCodes.h"

#include <algorithm>
#include <cstdint>
#include <iostream>

namespace cli {

namespace {

using database::TTableDiff;
using rtl::TMsg;
using TState = TTableDiff::TState;

std::string RowLine(const database::TRowText& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) line += (i ? " | " : "") + row[i];
    return line;
}

void PrintRows(std::ostream& out, const TTableDiff& t) {
    for (const auto& r : t.OnlyLiveExamples) out << rtl::Format(TMsg::CliDiffRowOnlyLive, {RowLine(r)}) << '\n';
    for (const auto& r : t.OnlyBackupExamples) out << rtl::Format(TMsg::CliDiffRowOnlyBackup, {RowLine(r)}) << '\n';
    for (const auto& r : t.DifferExamples)
        out << rtl::Format(TMsg::CliDiffRowChanged, {RowLine(r.Live), RowLine(r.Backup)}) << '\n';
    const std::uint64_t shown = t.OnlyLiveExamples.size() + t.OnlyBackupExamples.size() + t.DifferExamples.size();
    const std::uint64_t all = t.OnlyInLive + t.OnlyInBackup + t.Differ;
    if (all > shown) out << rtl::Format(TMsg::CliDiffMore, {std::to_string(all - shown)}) << '\n';
}

void PrintTable(std::ostream& out, const TTableDiff& t) {
    const auto n = [](std::uint64_t v) { return std::to_string(v); };
    switch (t.State) {
    case TState::Compared:
        if (!t.Changes()) {
            out << rtl::Format(TMsg::CliDiffAlike, {t.Table, n(t.Same)}) << '\n';
            break;
        }
        out << rtl::Format(TMsg::CliDiffCompared, {t.Table, n(t.OnlyInLive), n(t.OnlyInBackup), n(t.Differ), n(t.Same)})
            << '\n';
        PrintRows(out, t);
        break;
    case TState::OnlyLive:
        out << rtl::Format(TMsg::CliDiffOnlyLive, {t.Table, n(t.LiveRows)}) << '\n';
        break;
    case TState::OnlyBackup:
        out << rtl::Format(TMsg::CliDiffOnlyBackup, {t.Table, n(t.BackupRows)}) << '\n';
        break;
    case TState::FieldsDiffer:
        out << rtl::Format(TMsg::CliDiffFieldsDiffer, {t.Table, t.Problem, n(t.LiveRows), n(t.BackupRows)}) << '\n';
        break;
    case TState::NotRead:
        out << rtl::Format(TMsg::CliDiffNotRead, {t.Table, t.Problem}) << '\n';
        break;
    }
    // A table only on one side may still not have been read.
    if ((t.State == TState::OnlyLive || t.State == TState::OnlyBackup) && !t.Problem.empty())
        out << rtl::Format(TMsg::CliDiffNote, {t.Problem}) << '\n';
    for (const auto& note : t.Notes) out << rtl::Format(TMsg::CliDiffNote, {note}) << '\n';
}

const char* StateWord(TState s) {
    switch (s) {
    case TState::OnlyLive: return "onlyInDatabase";
    case TState::OnlyBackup: return "onlyInBackup";
    case TState::FieldsDiffer: return "fieldsDiffer";
    case TState::NotRead: return "notRead";
    default: return "compared";
    }
}

tools::TJson TableJson(const TTableDiff& t) {
    tools::TJson j{{"name", t.Table}, {"state", StateWord(t.State)}};
    j["matchedBy"] = t.Keyed ? "primaryKey" : "wholeRow";
    j["fields"] = t.Fields;
    j["databaseRows"] = t.LiveRows;
    j["backupRows"] = t.BackupRows;
    j["alike"] = t.Same;
    j["onlyInDatabase"] = t.OnlyInLive;
    j["onlyInBackup"] = t.OnlyInBackup;
    j["differ"] = t.Differ;
    tools::TJson differ = tools::TJson::array();
    for (const auto& r : t.DifferExamples) differ.push_back({{"database", r.Live}, {"backup", r.Backup}});
    j["rows"] = {{"onlyInDatabase", t.OnlyLiveExamples}, {"onlyInBackup", t.OnlyBackupExamples}, {"differ", std::move(differ)}};
    if (!t.Problem.empty()) j["problem"] = t.Problem;
    j["notes"] = t.Notes;
    return j;
}

} // namespace

int RunDiffCommand(const TCliOptions& o, std::ostream& out, TRunSummary& summary) {
    database::TBackupDiff diff;
    std::string error;
    int code = ExitDone;
    try {
        database::TBackupDiffRequest request;
        request.Directory = SourceDirectory(o);
        request.BackupDirectory = o.fromDir;
        request.BackupZip = o.fromZip;
        request.Tables = rtl::SplitCommaText(o.tables);
        if (o.rows) request.Limits.Examples = SIZE_MAX;
        diff = database::DiffAgainstBackup(request);
        code = diff.Changes() || !diff.Problems.empty() ? ExitProblem : ExitDone;
        // Tables there were, and none of them could be compared: nothing is known of what a
        // restore would change.
        const bool anyCompared = std::any_of(diff.Tables.begin(), diff.Tables.end(),
                                             [](const auto& t) { return t.State == TState::Compared; });
        const bool anyNotRead = std::any_of(diff.Tables.begin(), diff.Tables.end(),
                                            [](const auto& t) { return t.State == TState::NotRead; });
        if (anyNotRead && !anyCompared) code = ExitError;
    } catch (const std::exception& e) {
        error = e.what();
        code = ExitError;
    }
    if (!error.empty()) std::cerr << "tablora-cli: " << error << '\n';
    const bool dryRun = o.command == "restore";
    summary.BackupUsed = rtl::AbsolutePath(o.fromDir.empty() ? o.fromZip : o.fromDir);
    std::uint64_t compared = 0;
    for (const auto& t : diff.Tables) compared += t.State == TState::Compared ? 1 : 0;
    summary.Count("tablesCompared", TMsg::CliCountTablesCompared, compared);
    summary.Count("rowsOnlyInDatabase", TMsg::CliCountRowsOnlyLive, diff.OnlyInLive());
    summary.Count("rowsOnlyInBackup", TMsg::CliCountRowsOnlyBackup, diff.OnlyInBackup());
    summary.Count("rowsDiffer", TMsg::CliCountRowsDiffer, diff.Differ());
    for (const auto& t : diff.Tables)
        if (t.State == TState::NotRead) summary.NotDone.push_back({t.Table, t.Problem});
    summary.Finish(code);
    if (o.json) {
        tools::TJson json = JsonResult(o.command, code);
        if (!error.empty()) json["error"] = error;
        if (dryRun) json["dryRun"] = true;
        json["database"] = diff.Directory;
        json["backup"] = diff.Backup;
        json["tables"] = tools::TJson::array();
        for (const auto& t : diff.Tables) json["tables"].push_back(TableJson(t));
        json["totals"] = {{"onlyInDatabase", diff.OnlyInLive()}, {"onlyInBackup", diff.OnlyInBackup()},
                          {"differ", diff.Differ()}};
        json["archiveProblems"] = diff.Problems;
        json["summary"] = SummaryJson(summary);
        tools::PrintJson(out, json);
        return code;
    }
    for (const auto& t : diff.Tables) PrintTable(out, t);
    for (const auto& p : diff.Problems) out << rtl::Format(TMsg::CliDiffArchiveProblem, {p}) << '\n';
    if (error.empty()) {
        if (diff.Changes())
            out << rtl::Format(TMsg::CliDiffTotals, {diff.Backup, std::to_string(diff.OnlyInLive()),
                                                     std::to_string(diff.OnlyInBackup()), std::to_string(diff.Differ())})
                << '\n';
        else
            out << rtl::Format(TMsg::CliDiffNothing, {diff.Backup}) << '\n';
    }
    if (dryRun) out << rtl::Text(TMsg::CliDryRunNothingDone) << '\n';
    PrintSummary(out, summary);
    return code;
}

} // namespace cli
