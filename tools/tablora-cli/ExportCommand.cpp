#include "tools/tablora-cli/ExportCommand.h"

#include "database/RestoreIntent.h"
#include "database/CsvExport.h"
#include "database/SqliteExport.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

namespace cli {

bool TExportOutcome::HadProblems() const {
    for (const auto& t : tables)
        if (t.Problems > 0 || !t.Exported) return true;
    return false;
}

namespace {

// Counts the tables whose rows a sink put in place, so a failed run can tell whether it
// changed anything (a CSV file is put in place as each table ends).
class TCountingSink : public database::IExportSink {
public:
    TCountingSink(database::IExportSink& sink, std::uint64_t& ended) : sink_(sink), ended_(ended) {}
    void BeginTable(const std::string& name, const std::vector<engine::paradox::TFieldInfo>& fields,
                    int keyFields) override {
        sink_.BeginTable(name, fields, keyFields);
    }
    std::string Row(const std::vector<engine::paradox::TFieldValue>& values) override { return sink_.Row(values); }
    void Problem(const database::TExportProblem& problem) override { sink_.Problem(problem); }
    std::string FinishRows() override { return sink_.FinishRows(); }
    void EndTable() override {
        sink_.EndTable();
        ++ended_;
    }
    void AbandonTable() override { sink_.AbandonTable(); }
    bool Reserves(const std::string& name) const override { return sink_.Reserves(name); }

private:
    database::IExportSink& sink_;
    std::uint64_t& ended_;
};

std::uint64_t FileSize(const std::string& path) {
    rtl::TFileStatus st;
    return rtl::FileSystem().Stat(path, st) == 0 ? st.Size : 0;
}

} // namespace

void RunExport(const TCliOptions& o, database::TOrvDatabaseModule& module, TExportOutcome& outcome,
               const std::vector<std::string>& names) {
    outcome.run = true;
    outcome.target = o.toSqlite.empty() ? o.toCsv : o.toSqlite;
    const std::string directory = module.DatabaseDirectory();
    database::NotePendingRestore(directory);
    // An export is a copy for other programs; beside the tables it would be taken for one of
    // the database's files (and a backup would carry it).
    const std::string targetDir = o.toSqlite.empty() ? o.toCsv : rtl::ExtractFileDir(o.toSqlite);
    if (rtl::SameDirectory(targetDir.empty() ? "." : targetDir, directory))
        throw rtl::EError(rtl::Format(rtl::TMsg::CliExportIntoDatabase, {directory}));

    const auto held = module.HoldDatabaseDirectoryForReading();
    const database::TExportProgress progress = [&](const std::string& table, std::uint32_t done, std::uint32_t total) {
        module.SetProgress(0, static_cast<int>(total), static_cast<int>(done), rtl::Format(rtl::TMsg::CliExportProgress, {table}));
    };
    if (!o.toSqlite.empty()) {
        database::TSqliteExport sink(o.toSqlite);
        std::uint64_t ended = 0;
        TCountingSink counting(sink, ended);
        outcome.tables = database::ExportTables(directory, names, counting, progress);
        sink.Commit();
        // One file, put in place whole at the end.
        outcome.tablesWritten = ended;
        outcome.filesWritten = 1;
        outcome.bytesWritten = FileSize(o.toSqlite);
    } else {
        database::TCsvExport sink(o.toCsv, o.excel ? database::TCsvDialect::Excel : database::TCsvDialect::Plain);
        TCountingSink counting(sink, outcome.tablesWritten);
        outcome.tables = database::ExportTables(directory, names, counting, progress);
        sink.Commit();
        const std::string dir = rtl::WithTrailingSeparator(o.toCsv);
        for (const auto& t : outcome.tables)
            if (t.Exported) outcome.bytesWritten += FileSize(dir + t.Table + ".csv");
        outcome.bytesWritten += FileSize(dir + database::ExportProblemTable + ".csv");
        outcome.filesWritten = outcome.tablesWritten + 1;
    }
    outcome.written = true;
    module.SetProgress(0, 100, 0, "");
}

namespace {

using rtl::TMsg;

std::string Rows(std::uint64_t n) { return rtl::FormatCount(n, TMsg::CliRowsOne, TMsg::CliRowsFew, TMsg::CliRowsMany); }

} // namespace

void PrintExport(std::ostream& out, const TExportOutcome& outcome) {
    for (const auto& t : outcome.tables) {
        out << t.Table << ": " << (t.Exported ? Rows(t.Rows) : rtl::Text(TMsg::CliExportNotExported));
        if (t.RecordsLost > 0)
            out << rtl::Format(TMsg::CliExportRecordsLost,
                               {rtl::FormatCount(t.RecordsLost, TMsg::CliRecordsOne, TMsg::CliRecordsFew, TMsg::CliRecordsMany)});
        if (t.ValuesLost > 0)
            out << rtl::Format(TMsg::CliExportValuesBlank,
                               {rtl::FormatCount(t.ValuesLost, TMsg::CliValuesOne, TMsg::CliValuesFew, TMsg::CliValuesMany)});
        if (t.DamageFound > 0)
            out << rtl::Format(TMsg::CliExportDamaged, {rtl::FormatCount(t.DamageFound, TMsg::CliFindingsOne,
                                                                          TMsg::CliFindingsFew, TMsg::CliFindingsMany)});
        if (!t.KeyDropped.empty()) out << rtl::Format(TMsg::CliExportNoKey, {t.KeyDropped});
        out << '\n';
    }
    if (outcome.written) {
        const std::string tables =
            rtl::FormatCount(outcome.tables.size(), TMsg::WinTablesOne, TMsg::WinTablesFew, TMsg::WinTablesMany);
        out << rtl::Format(TMsg::CliExportedTo, {tables, outcome.target}) << '\n';
        if (outcome.HadProblems()) out << rtl::Format(TMsg::CliExportProblemsIn, {database::ExportProblemTable}) << '\n';
    }
}

void WriteExportJson(tools::TJson& json, const TExportOutcome& outcome) {
    tools::TJson tables = tools::TJson::array();
    for (const auto& t : outcome.tables) {
        tools::TJson table;
        table["name"] = t.Table;
        table["exported"] = t.Exported;
        table["rows"] = static_cast<std::int64_t>(t.Rows);
        table["problems"] = static_cast<std::int64_t>(t.Problems);
        table["recordsNotExported"] = static_cast<std::int64_t>(t.RecordsLost);
        table["valuesExportedBlank"] = static_cast<std::int64_t>(t.ValuesLost);
        table["damageFindings"] = static_cast<std::int64_t>(t.DamageFound);
        table["primaryKeyKept"] = t.KeyDropped.empty();
        if (!t.KeyDropped.empty()) table["primaryKeyDropped"] = t.KeyDropped;
        tables.push_back(std::move(table));
    }
    json["export"] = {{"target", outcome.target}, {"written", outcome.written}, {"tables", std::move(tables)}};
}

} // namespace cli
