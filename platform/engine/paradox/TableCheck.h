// A full read-only check of one table: header, block chain, free list, blocks lost outside
// the chain, key order, blobs, autoincrement counter, primary and secondary indexes.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/FieldDefs.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <vector>

namespace engine::paradox {

struct TTableReport {
    TProblemList Problems;
    std::uint64_t RecordsFound = 0;         // readable through the chain
    std::int64_t MaxAutoIncrement = 0;      // largest stored autoincrement value, 0 when none
    std::vector<TIndexDef> Indexes;         // primary first
    std::vector<TChainBlockSummary> Chain;  // one entry per chain block
    std::vector<std::uint16_t> OrphanBlocks;  // blocks with records outside the chain
    bool Encrypted = false;
    // Why the order of the primary keys could not be checked ("" when it was): text keys
    // under a sort order the engine does not model. Duplicates are still looked for.
    std::string KeyOrderNotChecked;
};

// Reads the whole table once, one block at a time.
TTableReport CheckTable(const TParadoxTable& table);

} // namespace engine::paradox
