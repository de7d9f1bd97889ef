// The files that make up one table: its data file and every companion that shares its
// name (memo, primary and secondary indexes, validity and view settings). Names are
// matched without regard to letter case, as tables copied from other systems mix cases.
#pragma once

#include <string>
#include <vector>

namespace engine {

// True when `extension` (with its dot) belongs to a table family: .db .mb .px .val .tv
// .fam and the secondary index files .Xnn/.Ynn/.XGn/.YGn (hexadecimal n). A spreadsheet
// "Hovory.xls" is not part of the table "Hovory".
bool IsTableFamilyExtension(const std::string& extension);

// Files of the engine's own work (journals, temporaries, the work tables that a repair fills
// before they take a table's place) begin with this prefix, which no billing table's name
// has; a data file so named is never listed as a table.
inline constexpr const char* WorkFilePrefix = ".~";
bool IsWorkFileName(const std::string& fileName);

// The base name of the work table into which a repair copies the rows of table `baseName`
// before it takes the table's place (".~<base>~kopia"), and the table a work table's base
// name belongs to ("" for any other name, letter case ignored).
std::string WorkTableBaseName(const std::string& baseName);
std::string TableOfWorkTable(const std::string& workBaseName);

// The table's base name: the file name without a trailing ".db" (any case).
std::string TableBaseName(const std::string& tableName);

// Full paths of the family members of table `baseName` found in `dir`, sorted by name.
std::vector<std::string> FindTableFamily(const std::string& dir, const std::string& baseName);

// The data file of `baseName` in `dir` as it is spelled on disk, or "" when there is none; of
// names differing only in letter case, the one spelled as asked.
std::string FindDataFile(const std::string& dir, const std::string& baseName);

} // namespace engine
