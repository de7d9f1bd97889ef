// Index files of a table: the primary index (.px) checked against the data chain, and the
// secondary indexes (.Xnn/.Ynn, .XGn/.YGn) recognised as index definitions.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/FieldDefs.h"
#include "platform/engine/paradox/TableHeader.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

// What the primary index must say about one block of the data chain.
struct TChainBlockSummary {
    std::uint16_t Block = 0;
    int Records = 0;
    std::string FirstKey;  // raw key bytes of the block's first record
};

// Bytes of the primary key at the start of each record.
int PrimaryKeySize(const TTableHeader& table);

// Opens the index file at `path` (.px, .Ynn, .YGn) and reads its header into `header`,
// appending what is wrong with the header to `problems`. Raises EDBEngineError when the
// file cannot be opened or its header read at all.
std::unique_ptr<TRandomAccessFile> OpenIndexFile(const std::string& path, TTableHeader& header, TProblemList& problems);

// Reads the .px at `pxPath` and compares it with the data chain: key fields, root and levels,
// one leaf entry per chain block with its first key and record count, inner entries against
// their children, the entry total. Appends PrimaryIndex problems.
void CheckPrimaryIndex(const std::string& pxPath, const TTableHeader& table,
                       const std::vector<TChainBlockSummary>& chain, TProblemList& problems);

// The same check for any index tree (.px, .Ynn, .YGn) over the blocks of the data-format
// file it indexes (the table, or an .Xnn/.XGn); problems get `kind`.
void CheckIndexTree(const std::string& treePath, const TTableHeader& indexed,
                    const std::vector<TChainBlockSummary>& chain, TProblemKind kind, TProblemList& problems);

// The table's index definitions: the primary index first (keyed tables, from the data
// header), then one per secondary index file with its fields and name where readable.
// Unreadable or incomplete secondary index files append SecondaryIndex problems.
// `tableRecords` (when not negative) asks for the full check: records the table holds,
// which a maintained secondary index must hold too, and each .Ynn/.YGn tree against its
// .Xnn/.XGn blocks.
std::vector<TIndexDef> ReadIndexDefinitions(const std::string& dataPath, const TTableHeader& table,
                                            TProblemList& problems, std::int64_t tableRecords = -1);

} // namespace engine::paradox
