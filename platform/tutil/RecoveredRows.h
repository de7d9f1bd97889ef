// Every record of a damaged data file that can still be read, streamed one block at a time:
// first the block chain from the header's first block, then the blocks the chain no longer
// reaches (a broken link, a loop, a zeroed block) although they hold records. Those are put
// back in their stored order where their own links allow: a run of blocks linked to each
// other goes where its first block's back link and its last block's forward link name the
// blocks on either side of a gap (before the first block, between two blocks, or after the
// block where the chain broke off, whatever its forward link says); other runs follow in
// block order and are marked as not placed.
//
// Free blocks and the bytes past a block's last record hold deleted rows and are not read.
// A block whose every byte is zero holds no row (it is reported); so does the part of a
// record beyond the end of a truncated file (such a record is marked partial).
#pragma once

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tutil {

struct TRecoveredRow {
    const std::uint8_t* Bytes = nullptr;  // RecordSize bytes, valid during the call only
    std::uint16_t Block = 0;
    int Index = 0;                        // in its block, from 0
    std::uint64_t Offset = 0;             // of its first byte in the file
    bool InChain = false;                 // read through the header's chain
    bool Placed = false;                  // in the chain, or in blocks that continue it by their links
    bool Partial = false;                 // part of it lies beyond the end of the file
};

// Rows a plain reader (`pdx dump`, another program) finds in `table` as its header describes
// it: the records of the chain's blocks whose last-record offset is possible, wholly inside the
// file, each field holding a value of its type (TRecordChecker). A block wiped to zeros holds
// none, as below. A rebuild that would keep fewer replaces nothing. Reads every block once.
std::uint64_t RowsAPlainReaderFinds(const engine::paradox::TParadoxTable& table);

class TRecoveredRows {
public:
    // `problems` receives what the chain walk and the block scan find.
    TRecoveredRows(const engine::paradox::TParadoxTable& table, engine::paradox::TProblemList& problems);

    // Calls `row` for every recoverable record, and `progress` with blocks done and the
    // file's block count after each block.
    void ForEach(const std::function<void(const TRecoveredRow&)>& row,
                 const std::function<void(std::uint32_t, std::uint32_t)>& progress);

    // After ForEach: one entry per block of the chain (for checking the old primary index).
    const std::vector<engine::paradox::TChainBlockSummary>& Chain() const { return chain_; }

private:
    struct TPlace {
        std::uint16_t Block;
        bool InChain;
        bool Placed;
    };
    void EmitBlock(const engine::paradox::TDataBlock& block, bool inChain, bool placed,
                   const std::function<void(const TRecoveredRow&)>& row);
    // The chain's blocks (in chain order) with the orphan blocks of `scan` put in where their
    // links place them, then the others.
    static std::vector<TPlace> ReadingOrder(const engine::paradox::TBlockScan& scan,
                                            const std::vector<std::uint16_t>& chain);

    const engine::paradox::TParadoxTable& table_;
    engine::paradox::TProblemList& problems_;
    std::vector<engine::paradox::TChainBlockSummary> chain_;
    int keySize_ = 0;
};

} // namespace tutil
