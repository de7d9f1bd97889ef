// A pass over every physical block of a data file, independent of the chain: finds blocks
// that hold records but are neither in the chain nor on the free list (lost by a broken
// link), and checks the free list. A rebuild uses the result to recover such records.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/TableHeader.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <vector>

namespace engine::paradox {

struct TBlockInfo {
    std::uint16_t Number = 0;
    std::uint16_t Next = 0;
    std::uint16_t Prev = 0;
    std::int16_t LastRecordOffset = 0;
    int RecordCount = 0;         // plausible records by its last-record offset
    bool OffsetValid = false;    // the offset is exactly possible
    bool InChain = false;
    bool OnFreeList = false;
};

struct TBlockScan {
    // Every physical block, in file order; none when the chain holds them all and there is
    // no free list (nothing to find).
    std::vector<TBlockInfo> Blocks;
    // Blocks outside the chain and the free list with a valid offset and records.
    std::vector<std::uint16_t> OrphanBlocks() const;
};

// `chainBlocks` is TBlockChainCursor::Visited() after a full walk. Appends FreeList and
// OrphanBlock problems. Holds one block header at a time.
TBlockScan ScanBlocks(const TRandomAccessFile& file, const TTableHeader& header,
                      const std::vector<bool>& chainBlocks, TProblemList& problems);

} // namespace engine::paradox
