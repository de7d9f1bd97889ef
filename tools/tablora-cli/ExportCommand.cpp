#include "tools/tablora-cli/ExportCommand.h"

#include "database/CsvExport.h"
#include "database/SqliteExport.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

namespace cli {

bool ExportOutcome::HadProblems() const {
    for (const auto& t : tables)
        if (t.Problems > 0 || !t.Exported) return true;
    return false;
}

void RunExport(const CliOptions& o, database::TOrvDatabaseModule& module, ExportOutcome& outcome) {
    outcome.run = true;
    outcome.target = o.toSqlite.empty() ? o.toCsv : o.toSqlite;
    const std::string directory = module.DatabaseDirectory();
    // An export is a copy for other programs; beside the tables it would be taken for one of
    // the database's files (and a backup would carry it).
    const std::string targetDir = o.toSqlite.empty() ? o.toCsv : rtl::ExtractFileDir(o.toSqlite);
    if (rtl::SameDirectory(targetDir.empty() ? "." : targetDir, directory))
        throw rtl::EError("The export cannot be written into the database directory \"" + directory + "\".");

    std::vector<std::string> names;
    if (o.tables.empty()) {
        rtl::TStringList list;
        module.ListTableNames(list, false);
        names = list.Items();
    } else {
        names = rtl::SplitCommaText(o.tables);
    }
    const auto held = module.HoldDatabaseDirectoryForReading();
    const database::TExportProgress progress = [&](const std::string& table, std::uint32_t done, std::uint32_t total) {
        module.SetProgress(0, static_cast<int>(total), static_cast<int>(done), "Export: " + table);
    };
    if (!o.toSqlite.empty()) {
        database::TSqliteExport sink(o.toSqlite);
        outcome.tables = database::ExportTables(directory, names, sink, progress);
        sink.Commit();
    } else {
        database::TCsvExport sink(o.toCsv);
        outcome.tables = database::ExportTables(directory, names, sink, progress);
        sink.Commit();
    }
    outcome.written = true;
    module.SetProgress(0, 100, 0, "");
}

namespace {

std::string Counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

void PrintExport(std::ostream& out, const ExportOutcome& outcome) {
    for (const auto& t : outcome.tables) {
        out << t.Table << ": " << (t.Exported ? Counted(t.Rows, "row", "rows") : "not exported");
        if (t.RecordsLost > 0) out << ", " << Counted(t.RecordsLost, "record", "records") << " not exported";
        if (t.ValuesLost > 0) out << ", " << Counted(t.ValuesLost, "value", "values") << " exported blank";
        if (t.DamageFound > 0) out << ", damaged (" << Counted(t.DamageFound, "finding", "findings") << ")";
        if (!t.KeyDropped.empty()) out << ", no primary key (" << t.KeyDropped << ")";
        out << '\n';
    }
    if (outcome.written) {
        out << "exported " << Counted(outcome.tables.size(), "table", "tables") << " to " << outcome.target << '\n';
        if (outcome.HadProblems()) out << "what could not be exported is listed in " << database::ExportProblemTable << '\n';
    }
}

void WriteExportJson(tools::TJson& json, const ExportOutcome& outcome) {
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
