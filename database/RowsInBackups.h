// Where the rows a damaged table lost may still be: the backups in one directory, newest
// first, each read back whole (an archive's every entry against its CRC, a directory's tables
// row by row) before its rows are counted. A table's rows in an archive are counted from a
// copy of its files in a temporary directory outside the database, removed afterwards.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

namespace database {

struct TBackupWithRows {
    std::string Path;
    std::time_t Time = 0;
    std::uint64_t Rows = 0;
};

// For each table of `rowsNow` (its name, and the rows an honest reader gets from it now): the
// newest backup in `directory` that reads back whole and holds the table, read whole, with more
// rows. A table no such backup holds is left out. Raises rtl::EError when the directory cannot
// be listed.
std::map<std::string, TBackupWithRows> NewestBackupsWithMoreRows(const std::string& directory,
                                                                 const std::map<std::string, std::uint64_t>& rowsNow);

} // namespace database
