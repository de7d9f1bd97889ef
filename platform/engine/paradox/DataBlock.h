// Data blocks of a Paradox data or index file, and the streaming cursor that follows their
// chain one block at a time, reporting every broken link instead of failing.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/TableHeader.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

inline constexpr int BlockHeaderSize = 6;

struct TDataBlock {
    std::uint16_t Number = 0;
    std::uint16_t Next = 0;
    std::uint16_t Prev = 0;
    std::int16_t LastRecordOffset = 0;
    int RecordCount = 0;            // records to read (impossible offsets already clamped)
    std::uint64_t FileOffset = 0;
    std::size_t BytesInFile = 0;    // less than the block size for a short final block
    std::vector<std::uint8_t> Bytes;  // the whole block, zero beyond the end of the file

    const std::uint8_t* Record(int i, int recordSize) const {
        return Bytes.data() + BlockHeaderSize + static_cast<std::size_t>(i) * recordSize;
    }
};

// A stored record by where it lies: its data block and its place in the block.
struct TStoredPlace {
    std::uint16_t Block = 0;
    int Index = 0;
    bool operator<(const TStoredPlace& o) const { return Block != o.Block ? Block < o.Block : Index < o.Index; }
    bool operator==(const TStoredPlace& o) const { return Block == o.Block && Index == o.Index; }
};

// Records a block's last-record offset stands for: (offset / recordSize) + 1, 0 for an
// empty block. An impossible offset sets `why` and gives the most records the block can
// plausibly hold (none for a negative offset, the block's capacity for one too large).
int RecordsFromLastOffset(std::int16_t lastOffset, int recordSize, int capacity, std::string* why);

// Reads block `number` (1-based) into `block`; false when it lies wholly outside the file.
// With `headerOnly`, Bytes holds the block's header alone and the records are not read.
bool ReadDataBlock(const TRandomAccessFile& file, const TTableHeader& header, std::uint16_t number,
                   TDataBlock& block, std::string* why, bool headerOnly = false);

// Follows the chain from the header's first block. Holds one block at a time. Reports block
// numbers out of range, loops, wrong back links, impossible offsets, records beyond the end
// of the file and, at the end, a chain length, last block or record total that differs from
// the header. A short final block (old writers) is read as zeros and not reported by itself.
class TBlockChainCursor {
public:
    // `headersOnly`: the blocks' records are not read (for counting them), Block().Bytes
    // holds each block's header alone.
    TBlockChainCursor(const TRandomAccessFile& file, const TTableHeader& header, TProblemList& problems,
                      bool headersOnly = false);

    bool Next();  // false at the end of the chain (after the end-of-chain checks)
    const TDataBlock& Block() const { return block_; }

    std::uint32_t BlocksRead() const { return blocksRead_; }
    std::uint64_t RecordsRead() const { return recordsRead_; }
    // Blocks the chain passed through, indexed by block number.
    const std::vector<bool>& Visited() const { return visited_; }

private:
    void Report(TProblemKind kind, std::uint32_t block, const std::string& text);
    void Finish();

    const TRandomAccessFile& file_;
    const TTableHeader& header_;
    TProblemList& problems_;
    std::string fileName_;
    TDataBlock block_;
    std::vector<bool> visited_;
    std::uint16_t next_ = 0;
    std::uint16_t previous_ = 0;
    std::uint32_t blocksRead_ = 0;
    std::uint64_t recordsRead_ = 0;
    bool finished_ = false;
    bool headersOnly_ = false;
};

} // namespace engine::paradox
