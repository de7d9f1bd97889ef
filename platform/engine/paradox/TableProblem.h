// What the reader found wrong with a table: every inconsistency becomes one of these, so a
// damaged table is reported and read as far as it goes instead of failing.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

enum class TProblemKind {
    Header,          // a header value out of range or contradicting another
    BlockRange,      // a block number outside the file or the header's block count
    ChainLoop,       // the block chain returns to a block it already visited
    BackLink,        // a block's "previous" link does not name the block before it
    RecordOffset,    // a block's last-record offset is impossible
    ChainLength,     // chain length or last block differ from the header
    RecordCount,     // records found differ from the header's count
    Truncated,       // records that lie beyond the end of the file
    TKeyOrder,        // keys out of order or duplicated in a keyed table
    FreeList,        // the list of free blocks is broken
    OrphanBlock,     // a block outside the chain and the free list that holds records
    Blob,            // a memo/blob value that cannot be read
    MemoFile,        // the .mb file is missing or its header is damaged
    PrimaryIndex,    // the .px is missing or does not match the data
    SecondaryIndex,  // a secondary index file is unreadable or incomplete
    AutoIncrement,   // the autoincrement counter lies below a stored value
    Encrypted,       // a password-protected table: its rows cannot be read
};

const char* ProblemKindName(TProblemKind kind);

struct TTableProblem {
    TProblemKind Kind = TProblemKind::Header;
    std::string File;            // file name (no directory) the problem is in
    std::uint32_t Block = 0;     // block number, 0 when the problem is not tied to a block
    std::uint64_t Offset = 0;    // byte offset in the file, 0 when not applicable
    std::string Text;            // readable description

    // "FILE.DB: block 3 (offset 0x1800): text" - one line for reports.
    std::string Describe() const;
};

using TProblemList = std::vector<TTableProblem>;

} // namespace engine::paradox
