#include "tools/tablora-cli/BackupsCommand.h"

#include "database/BackupContents.h"
#include "database/DatedBackups.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliRunner.h"

#include <exception>
#include <iostream>
#include <optional>

namespace cli {

namespace {

// How a table's rows moved from the previous (older) backup to this one.
struct TRowChange {
    std::optional<std::uint64_t> Before;  // nothing: the previous backup holds no readable table of the name
    bool Sudden = false;                  // half the rows or more lost, or the table gone
};

struct TListedBackup {
    database::TDatedBackup found;
    database::TBackupContents contents;
    std::vector<TRowChange> changes;  // --verify: one per contents.Rows
    // --verify: the tables the previous backup held readable and this one does not hold at all.
    std::vector<database::TTableRows> gone;
    bool Whole() const { return contents.Whole(); }
    std::size_t SuddenLosses() const {
        std::size_t n = gone.size();
        for (const TRowChange& c : changes) n += c.Sudden ? 1 : 0;
        return n;
    }
};

const database::TTableRows* FindTable(const database::TBackupContents& contents, const std::string& table) {
    for (const database::TTableRows& rows : contents.Rows)
        if (rtl::FileNameKey(rows.Table) == rtl::FileNameKey(table)) return &rows;
    return nullptr;
}

// Each table's rows against the same table in `older`, the backup made before `l`.
void CompareWithOlder(TListedBackup& l, const database::TBackupContents& older) {
    for (const database::TTableRows& rows : l.contents.Rows) {
        TRowChange change;
        const database::TTableRows* before = FindTable(older, rows.Table);
        if (before && before->Rows) change.Before = before->Rows;
        change.Sudden = change.Before && rows.Rows && database::SuddenLoss(*change.Before, *rows.Rows);
        l.changes.push_back(change);
    }
    for (const database::TTableRows& before : older.Rows) {
        bool held = false;
        for (const std::string& table : l.contents.Tables) held = held || rtl::FileNameKey(table) == rtl::FileNameKey(before.Table);
        if (!held && before.Rows) l.gone.push_back(before);
    }
}

std::string LocalTime(std::time_t when) {
    const std::tm local = rtl::LocalTime(when);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The kind as a word for scripts (JSON), or in the reader's language.
std::string KindName(database::TBackupKind kind, rtl::TLanguage language = rtl::Language()) {
    return rtl::Text(kind == database::TBackupKind::Directory ? rtl::TMsg::CliBackupsKindDirectory
                                                              : rtl::TMsg::CliBackupsKindArchive,
                     language);
}

std::string Signed(std::int64_t n) { return (n > 0 ? "+" : "") + std::to_string(n); }

std::int64_t Difference(std::uint64_t after, std::uint64_t before) {
    return static_cast<std::int64_t>(after) - static_cast<std::int64_t>(before);
}

tools::TJson TablesJson(const TListedBackup& l) {
    tools::TJson tables = tools::TJson::array();
    for (std::size_t i = 0; i < l.contents.Rows.size(); ++i) {
        const database::TTableRows& rows = l.contents.Rows[i];
        const TRowChange& change = l.changes[i];
        tools::TJson t = {{"table", rows.Table}, {"problems", rows.Problems}};
        t["rows"] = rows.Rows ? tools::TJson(static_cast<std::int64_t>(*rows.Rows)) : tools::TJson();
        t["rowsBefore"] = change.Before ? tools::TJson(static_cast<std::int64_t>(*change.Before)) : tools::TJson();
        t["rowsChange"] = change.Before && rows.Rows ? tools::TJson(Difference(*rows.Rows, *change.Before)) : tools::TJson();
        t["suddenLoss"] = change.Sudden;
        tables.push_back(t);
    }
    for (const database::TTableRows& before : l.gone)
        tables.push_back({{"table", before.Table},
                          {"problems", tools::TJson::array()},
                          {"rows", tools::TJson()},
                          {"rowsBefore", static_cast<std::int64_t>(*before.Rows)},
                          {"rowsChange", tools::TJson()},
                          {"suddenLoss", true}});
    return tables;
}

void PrintTables(std::ostream& out, const TListedBackup& l) {
    for (std::size_t i = 0; i < l.contents.Rows.size(); ++i) {
        const database::TTableRows& rows = l.contents.Rows[i];
        const TRowChange& change = l.changes[i];
        for (const std::string& problem : rows.Problems)
            out << rtl::Format(rtl::TMsg::CliBackupsTableProblem, {rows.Table, problem}) << '\n';
        if (!rows.Rows) continue;
        out << rtl::Format(rtl::TMsg::CliBackupsTableRows, {rows.Table, std::to_string(*rows.Rows)});
        if (change.Sudden)
            out << rtl::Format(rtl::TMsg::CliBackupsSuddenLoss,
                               {Signed(Difference(*rows.Rows, *change.Before)), std::to_string(*change.Before)});
        else if (change.Before)
            out << rtl::Format(rtl::TMsg::CliBackupsRowsChange, {Signed(Difference(*rows.Rows, *change.Before))});
        out << '\n';
    }
    for (const database::TTableRows& before : l.gone)
        out << rtl::Format(rtl::TMsg::CliBackupsTableGone, {before.Table, std::to_string(*before.Rows)}) << '\n';
}

} // namespace

int RunBackupsCommand(const TCliOptions& o, std::ostream& out, TRunSummary& summary) {
    std::vector<TListedBackup> listed;
    std::string error;
    try {
        if (const std::string why = rtl::WhyNotADirectory(o.in); !why.empty())
            throw std::runtime_error(rtl::Format(rtl::TMsg::DbBackupDirectoryIs, {o.in, why}));
        // Read back one at a time: an archive's unpacked tables go before the next is read.
        for (const database::TDatedBackup& b : database::ListBackups(o.in, o.pattern))
            listed.push_back({b, o.verify ? database::ReadBackBackup(b) : database::ListBackupContents(b), {}, {}});
    } catch (const std::exception& e) {
        error = e.what();
    }
    // Newest first: each backup is compared with the one after it in the list.
    if (o.verify)
        for (std::size_t i = 0; i < listed.size(); ++i)
            CompareWithOlder(listed[i], i + 1 < listed.size() ? listed[i + 1].contents : database::TBackupContents{});
    bool allWhole = true;
    std::uint64_t losses = 0;
    for (const auto& l : listed) {
        allWhole = allWhole && l.Whole();
        losses += l.SuddenLosses();
    }
    const int code = !error.empty() ? ExitError : (listed.empty() || !allWhole || losses) ? ExitProblem : ExitDone;
    if (!error.empty()) std::cerr << "tablora-cli: " << error << '\n';
    else if (listed.empty()) std::cerr << "tablora-cli: " << rtl::Format(rtl::TMsg::CliBackupsNoneFound, {o.in}) << '\n';
    std::uint64_t notWhole = 0;
    for (const auto& l : listed)
        if (!l.Whole()) {
            ++notWhole;
            summary.NotDone.push_back({l.found.Name, l.contents.Problems.front()});
        }
    summary.Count("backups", rtl::TMsg::CliCountBackupsListed, listed.size());
    summary.Count("backupsNotWhole", rtl::TMsg::CliCountBackupsNotWhole, notWhole);
    if (o.verify) summary.Count("tablesLostRows", rtl::TMsg::CliCountTablesLostRows, losses);
    summary.Finish(code);
    if (o.json) {
        tools::TJson json = JsonResult(o.command, code);
        if (!error.empty()) json["error"] = error;
        json["backups"] = tools::TJson::array();
        for (const auto& l : listed) {
            tools::TJson b = {{"name", l.found.Name},
                              {"path", l.found.Path},
                              {"kind", KindName(l.found.Kind, rtl::TLanguage::English)},
                              {"time", LocalTime(l.found.Time)},
                              {"bytes", static_cast<std::int64_t>(l.contents.Bytes)},
                              {"tables", l.contents.Tables},
                              {"whole", l.Whole()},
                              {"recorded", !l.contents.Unrecorded},
                              {"readBack", o.verify},
                              {"problems", l.contents.Problems}};
            if (o.verify) b["tableRows"] = TablesJson(l);
            json["backups"].push_back(b);
        }
        json["summary"] = SummaryJson(summary);
        tools::PrintJson(out, json);
        return code;
    }
    for (const auto& l : listed) {
        out << rtl::Format(rtl::TMsg::CliBackupsLine, {LocalTime(l.found.Time), l.found.Name, KindName(l.found.Kind),
                                                       std::to_string(l.contents.Bytes),
                                                       std::to_string(l.contents.Tables.size())});
        if (l.Whole())
            out << rtl::Text(l.contents.Unrecorded ? rtl::TMsg::CliBackupsWholeUnrecorded : rtl::TMsg::CliBackupsWhole)
                << '\n';
        else
            out << rtl::Format(rtl::TMsg::CliBackupsNotWhole, {l.contents.Problems.front()})
                << (l.contents.Problems.size() > 1 ? rtl::Text(rtl::TMsg::CliBackupsAndMore) : "") << '\n';
        if (o.verify) PrintTables(out, l);
    }
    PrintSummary(out, summary);
    return code;
}

} // namespace cli
