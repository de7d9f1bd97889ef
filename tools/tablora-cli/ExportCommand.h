// tablora-cli export: the tables of the database into one SQLite file or a directory of CSV
// files (see database/SqliteExport.h, database/CsvExport.h).
#pragma once

#include "database/OrvDatabaseModule.h"
#include "database/TableExport.h"
#include "tools/common/JsonOutput.h"
#include "tools/tablora-cli/CliOptions.h"

#include <cstdint>
#include <ostream>
#include <vector>

namespace cli {

struct TExportOutcome {
    bool run = false;
    std::string target;  // the SQLite file or the CSV directory
    bool written = false;
    std::vector<database::TTableExportReport> tables;
    std::uint64_t tablesWritten = 0;  // tables whose rows are in place (a CSV file each)
    std::uint64_t filesWritten = 0;   // files put in place, the problems' file included
    std::uint64_t bytesWritten = 0;   // their size
    // Something was not carried over: a table not read, a record, a value, the key.
    bool HadProblems() const;
};

// Exports the tables `names` (without extension) of the open database.
void RunExport(const TCliOptions& o, database::TOrvDatabaseModule& module, TExportOutcome& outcome,
               const std::vector<std::string>& names);
// One line per table, then where the export went.
void PrintExport(std::ostream& out, const TExportOutcome& outcome);
void WriteExportJson(tools::TJson& json, const TExportOutcome& outcome);

} // namespace cli
