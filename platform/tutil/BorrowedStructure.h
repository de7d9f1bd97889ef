// A table's structure taken from its copy in a backup, for a rebuild that cannot trust the
// table's own header (a field list that describes no record, an unknown type, a header too
// damaged to read): the copy's header bytes, its fields, types and sizes, key, sort order,
// code page, block size and version. Anyone may have written a backup's files, so that header
// is checked as strictly as a live one; the rows still come from the damaged file alone, and
// before they are read under the borrowed header its blocks must fit it.
#pragma once

#include "platform/engine/ParadoxTables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tutil {

struct TBorrowedStructure {
    std::string Source;                      // what gave it, as reports name it
    std::vector<std::uint8_t> HeaderBytes;   // the copy's header, HeaderSize bytes
    engine::paradox::TTableHeader Header;    // read from them
};

// The structure in `head`, the first bytes of a data file of `size` bytes that `source` names.
// Raises TUtilFailure (NOTATABLE) when they hold no sound header of a table.
TBorrowedStructure ReadBorrowedStructure(const std::string& source, std::string head, std::uint64_t size);

// The header the damaged data file at `dataPath` is read under with `s`: the structure, with
// the counts of its own header's fixed part (rows, blocks, first and last block, free list,
// counter) where they fit the file, since the rebuild accounts for rows by them.
engine::paradox::TTableHeader HeaderUnder(const TBorrowedStructure& s, const std::string& dataPath);

// Why `table`, opened under a borrowed structure, cannot be rebuilt with it ("" when it can):
// its blocks do not fit it, or more than one in ten of its chain's rows hold values the
// structure's fields cannot have (another table's rows of the same size).
std::string StructureMisfit(const engine::paradox::TParadoxTable& table);

} // namespace tutil
