// What a backup directory holds and whether its tables read back whole: every table with its
// data file and the memo file its fields need (WholeTables.h), every row of every data file
// readable through its block chain, and every memo value. Index files are no
// measure (a backup may leave them out), nor are faults of key order or counter that the
// database had when it was backed up and that a copy faithfully keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace database {

struct TBackupContents {
    std::vector<std::string> Tables;  // data file names without ".db", in name order
    std::uint64_t Bytes = 0;          // of the regular files in it
    std::vector<std::string> Problems;  // one line each; empty: reads back whole
    bool Whole() const { return Problems.empty() && !Tables.empty(); }
};

TBackupContents ReadBackBackupDirectory(const std::string& directory);

} // namespace database
