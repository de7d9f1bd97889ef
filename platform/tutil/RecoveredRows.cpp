#include "platform/tutil/RecoveredRows.h"

#include "platform/engine/paradox/BlockScan.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/rtl/Paths.h"

#include <algorithm>

namespace tutil {

using namespace engine::paradox;

namespace {

bool AllZero(const TDataBlock& b) {
    return std::all_of(b.Bytes.begin(), b.Bytes.end(), [](std::uint8_t c) { return c == 0; });
}

} // namespace

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
    // A wiped block reads as one blank record; it holds none, unless the header says the
    // table is exactly that one blank row.
    const bool onlyBlankRow = inChain && h.BlocksInUse == 1 && h.RecordCount == 1;
    if (block.RecordCount > 0 && AllZero(block) && !onlyBlankRow) {
        problems_.push_back(TTableProblem{ProblemKind::RecordOffset, rtl::ExtractFileName(table_.Path()), block.Number,
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

std::vector<std::vector<std::uint16_t>> TRecoveredRows::OrphanRuns(const TBlockScan& scan, std::uint16_t chainTail,
                                                                    std::size_t& placedRuns) const {
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

    // Runs that continue the chain by their back links come first, in that order.
    std::vector<std::vector<std::uint16_t>> ordered;
    std::uint16_t tail = chainTail;
    for (bool found = true; found;) {
        found = false;
        for (auto it = runs.begin(); it != runs.end(); ++it) {
            if (prev[it->front()] != tail) continue;
            tail = it->back();
            ordered.push_back(std::move(*it));
            runs.erase(it);
            found = true;
            break;
        }
    }
    placedRuns = ordered.size();
    std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
    for (auto& run : runs) ordered.push_back(std::move(run));
    return ordered;
}

void TRecoveredRows::ForEach(const std::function<void(const TRecoveredRow&)>& row,
                             const std::function<void(std::uint32_t, std::uint32_t)>& progress) {
    const TTableHeader& h = table_.Header();
    const std::uint32_t total = std::max<std::uint32_t>(h.PhysicalBlocks(), 1);
    std::uint32_t done = 0;
    chain_.clear();
    TBlockChainCursor cursor(table_.File(), h, problems_);
    std::uint16_t tail = 0;
    while (cursor.Next()) {
        EmitBlock(cursor.Block(), true, true, row);
        tail = cursor.Block().Number;
        progress(std::min(++done, total), total);
    }
    const TBlockScan scan = ScanBlocks(table_.File(), h, cursor.Visited(), problems_);
    std::size_t placedRuns = 0;
    const auto runs = OrphanRuns(scan, tail, placedRuns);
    TDataBlock block;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        for (const std::uint16_t b : runs[r]) {
            if (!ReadDataBlock(table_.File(), h, b, block, nullptr)) continue;
            // Records that would start beyond the end of the file do not exist.
            const std::size_t usable = block.BytesInFile > BlockHeaderSize ? block.BytesInFile - BlockHeaderSize : 0;
            block.RecordCount =
                std::min(block.RecordCount, static_cast<int>((usable + h.RecordSize - 1) / h.RecordSize));
            EmitBlock(block, false, r < placedRuns, row);
            progress(std::min(++done, total), total);
        }
    }
}

} // namespace tutil
