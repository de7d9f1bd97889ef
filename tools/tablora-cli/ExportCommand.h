// tablora-cli export: the tables of the database into one SQLite file or a directory of CSV
// files (see database/SqliteExport.h, database/CsvExport.h).
#pragma once

#include "database/OrvDatabaseModule.h"
#include "database/TableExport.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliOptions.h"

#include <ostream>
#include <vector>

namespace cli {

struct ExportOutcome {
    bool run = false;
    std::string target;  // the SQLite file or the CSV directory
    bool written = false;
    std::vector<database::TTableExportReport> tables;
    // Something was not carried over: a table not read, a record, a value, the key.
    bool HadProblems() const;
};

// Exports the tables `--tables` names (all without it) of the open database.
void RunExport(const CliOptions& o, database::TOrvDatabaseModule& module, ExportOutcome& outcome);
// One line per table, then where the export went.
void PrintExport(std::ostream& out, const ExportOutcome& outcome);
void WriteExportJson(tools::TJson& json, const ExportOutcome& outcome);

} // namespace cli
