#include "platform/tutil/RecoveredRows.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/rtl/Paths.h"
#include "platform/tutil/RecordValidation.h"

#include <algorithm>

namespace tutil {

using namespace engine::paradox;

namespace {

bool AllZero(const TDataBlock& b) {
    return std::all_of(b.Bytes.begin(), b.Bytes.end(), [](std::uint8_t c) { return c == 0; });
}

// A wiped block reads as one blank record; it holds none, unless the header says the table is
// exactly that one blank row.
bool WipedBlock(const TTableHeader& h, const TDataBlock& block, bool inChain) {
    const bool onlyBlankRow = inChain && h.BlocksInUse == 1 && h.RecordCount == 1;
    return block.RecordCount > 0 && !onlyBlankRow && AllZero(block);
}

} // namespace

std::uint64_t RowsAPlainReaderFinds(const TParadoxTable& table) {
    const TTableHeader& h = table.Header();
    const TRecordChecker checker(h);
    const std::uint64_t fileSize = table.File().Size();
    TProblemList ignored;
    TBlockChainCursor cursor(table.File(), h, ignored);
    std::uint64_t rows = 0;
    while (cursor.Next()) {
        const TDataBlock& b = cursor.Block();
        std::string why;
        RecordsFromLastOffset(b.LastRecordOffset, h.RecordSize, h.Capacity(), &why);
        if (!why.empty() || WipedBlock(h, b, true)) continue;
        for (int i = 0; i < b.RecordCount; ++i) {
            const bool whole = b.FileOffset + BlockHeaderSize + static_cast<std::uint64_t>(i + 1) * h.RecordSize <= fileSize;
            if (whole && !checker.Check(b.Record(i, h.RecordSize))) ++rows;
        }
    }
    return rows;
}

TRecoveredRows::TRecoveredRows(const TParadoxTable& table, TProblemList& problems)
    : table_(table), problems_(problems) {
    keySize_ = table.Header().IsKeyed() ? PrimaryKeySize(table.Header()) : 0;
}

void TRecoveredRows::EmitBlock(const TDataBlock& block, bool inChain, bool placed,
                               const std::function<void(const TRecoveredRow&)>& row) {
    const TTableHeader& h = table_.Header();
    if (inChain) {
        TChainBlockSummary summary;
        summary.Block = block.Number;
        summary.Records = block.RecordCount;
        if (block.RecordCount > 0 && keySize_ > 0)
            summary.FirstKey.assign(reinterpret_cast<const char*>(block.Record(0, h.RecordSize)),
                                    static_cast<std::size_t>(keySize_));
        chain_.push_back(std::move(summary));
    }
    if (WipedBlock(h, block, inChain)) {
        problems_.push_back(TTableProblem{TProblemKind::RecordOffset, rtl::ExtractFileName(table_.Path()), block.Number,
                                          block.FileOffset,
                                          "the block holds only zeros; whatever rows it held are lost"});
        return;
    }
    const std::uint64_t fileSize = table_.File().Size();
    for (int i = 0; i < block.RecordCount; ++i) {
        TRecoveredRow r;
        r.Bytes = block.Record(i, h.RecordSize);
        r.Block = block.Number;
        r.Index = i;
        r.Offset = block.FileOffset + BlockHeaderSize + static_cast<std::uint64_t>(i) * h.RecordSize;
        r.InChain = inChain;
        r.Placed = placed;
        r.Partial = r.Offset + h.RecordSize > fileSize;
        row(r);
    }
}

std::vector<TRecoveredRows::TPlace> TRecoveredRows::ReadingOrder(const TBlockScan& scan,
                                                                  const std::vector<std::uint16_t>& chain) {
    // Links between orphan blocks, from the headers the scan read.
    const std::vector<std::uint16_t> orphans = scan.OrphanBlocks();
    std::vector<std::uint16_t> next(0x10000, 0), prev(0x10000, 0);
    std::vector<bool> orphan(0x10000, false), used(0x10000, false), linkedTo(0x10000, false);
    for (const std::uint16_t b : orphans) {
        next[b] = scan.Blocks[b - 1u].Next;
        prev[b] = scan.Blocks[b - 1u].Prev;
        orphan[b] = true;
    }
    auto follows = [&](std::uint16_t a, std::uint16_t b) { return b != 0 && orphan[b] && next[a] == b && prev[b] == a; };
    for (const std::uint16_t b : orphans)
        if (follows(b, next[b])) linkedTo[next[b]] = true;
    std::vector<std::vector<std::uint16_t>> runs;
    auto runFrom = [&](std::uint16_t head) {
        std::vector<std::uint16_t> run;
        for (std::uint16_t b = head; b != 0 && orphan[b] && !used[b]; b = follows(b, next[b]) ? next[b] : 0) {
            used[b] = true;
            run.push_back(b);
        }
        runs.push_back(std::move(run));
    };
    for (const std::uint16_t b : orphans)
        if (!linkedTo[b]) runFrom(b);
    for (const std::uint16_t b : orphans)  // runs closed into a loop have no head
        if (!used[b]) runFrom(b);
    std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });

    // The order so far, as a list from `head` through `after` (0 ends it): the chain, into
    // which runs are put where both their outer links name the blocks on either side (or
    // where the back link names the last block so far), until no more fit. Of two runs that
    // claim one gap, the first in the file takes it.
    std::vector<std::uint16_t> after(0x10000, 0);
    std::vector<bool> inOrder(0x10000, false), inChain(0x10000, false);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        after[chain[i]] = i + 1 < chain.size() ? chain[i + 1] : 0;
        inOrder[chain[i]] = inChain[chain[i]] = true;
    }
    std::uint16_t head = chain.empty() ? 0 : chain.front(), tail = chain.empty() ? 0 : chain.back();
    std::vector<bool> placed(runs.size(), false);
    for (bool found = true; found;) {
        found = false;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            const auto& run = runs[r];
            const std::uint16_t before = prev[run.front()], beyond = next[run.back()];
            const bool fits = before == 0 ? head == 0 || beyond == head
                                          : inOrder[before] && (before == tail || after[before] == beyond);
            if (placed[r] || !fits) continue;
            const std::uint16_t successor = before == 0 ? head : after[before];
            (before == 0 ? head : after[before]) = run.front();
            for (std::size_t k = 0; k < run.size(); ++k) {
                after[run[k]] = k + 1 < run.size() ? run[k + 1] : successor;
                inOrder[run[k]] = true;
            }
            if (successor == 0) tail = run.back();
            placed[r] = found = true;
        }
    }
    std::vector<TPlace> order;
    for (std::uint16_t b = head; b != 0; b = after[b]) order.push_back(TPlace{b, inChain[b], true});
    for (std::size_t r = 0; r < runs.size(); ++r)
        if (!placed[r])
            for (const std::uint16_t b : runs[r]) order.push_back(TPlace{b, false, false});
    return order;
}

void TRecoveredRows::ForEach(const std::function<void(const TRecoveredRow&)>& row,
                             const std::function<void(std::uint32_t, std::uint32_t)>& progress) {
    const TTableHeader& h = table_.Header();
    const std::uint32_t total = std::max<std::uint32_t>(h.PhysicalBlocks(), 1);
    std::uint32_t done = 0;
    chain_.clear();
    // The chain by its blocks' headers first: blocks outside it may belong between its blocks.
    std::vector<std::uint16_t> chain;
    TBlockChainCursor cursor(table_.File(), h, problems_, true);
    while (cursor.Next()) chain.push_back(cursor.Block().Number);
    const TBlockScan scan = ScanBlocks(table_.File(), h, cursor.Visited(), problems_);
    TDataBlock block;
    for (const TPlace& place : ReadingOrder(scan, chain)) {
        if (!ReadDataBlock(table_.File(), h, place.Block, block, nullptr)) continue;
        // Records that would start beyond the end of the file do not exist.
        const std::size_t usable = block.BytesInFile > BlockHeaderSize ? block.BytesInFile - BlockHeaderSize : 0;
        block.RecordCount = std::min(block.RecordCount, static_cast<int>((usable + h.RecordSize - 1) / h.RecordSize));
        EmitBlock(block, place.InChain, place.Placed, row);
        progress(std::min(++done, total), total);
    }
}

} // namespace tutil
