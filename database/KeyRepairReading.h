// How many rows of a table an honest reader gets through its chain, and whether that is
// all of them: what the key repair weighs a table and a leftover of its own by.
#pragma once

#include <cstdint>
#include <string>

namespace database {

struct TRowsRead {
    std::uint64_t Rows = 0;
    std::string Problem;  // empty when the table reads whole
};

// Reads every row of the table with data file `dataPath`. A table that cannot be opened, is
// password-protected or whose reading meets any problem (a damaged chain, fewer rows than
// its header counts) does not read whole. The files are read as they stand.
TRowsRead ReadEveryRow(const std::string& dataPath);

// What the key repair does with a work table an interrupted run left (`left`) beside the
// table it belongs to (`kept`): only one read whole that holds no more rows than the table
// (or none at all) may go; any other may hold the only copy of some rows.
enum class TLeftoverVerdict { Deletable, LeftoverNotWhole, TableNotWhole, MoreRowsThanTable };
TLeftoverVerdict JudgeLeftover(const TRowsRead& kept, const TRowsRead& left);

} // namespace database
