#include "platform/engine/paradox/BlockScan.h"

#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

namespace engine::paradox {

std::vector<std::uint16_t> TBlockScan::OrphanBlocks() const {
    std::vector<std::uint16_t> out;
    for (const auto& b : Blocks)
        if (!b.InChain && !b.OnFreeList && b.OffsetValid && b.RecordCount > 0) out.push_back(b.Number);
    return out;
}

TBlockScan ScanBlocks(const TRandomAccessFile& file, const TTableHeader& header,
                      const std::vector<bool>& chainBlocks, TProblemList& problems) {
    const std::string fileName = rtl::ExtractFileName(file.Path());
    auto report = [&](TProblemKind kind, std::uint16_t block, const std::string& text) {
        problems.push_back(TTableProblem{kind, fileName, block, block ? header.BlockOffset(block) : 0, text});
    };
    TBlockScan scan;
    const std::uint32_t count = header.PhysicalBlocks();
    // A chain through every block of the file, with no free list and as many blocks as the
    // header allocates, leaves nothing to find and nothing to report: no block need be read.
    bool chainHoldsAll = header.FirstFreeBlock == 0 && count == header.BlocksAllocated;
    for (std::uint32_t n = 1; n <= count && chainHoldsAll; ++n)
        chainHoldsAll = n < chainBlocks.size() && chainBlocks[n];
    if (chainHoldsAll) return scan;
    scan.Blocks.reserve(count);
    for (std::uint32_t n = 1; n <= count; ++n) {
        std::uint8_t head[BlockHeaderSize];
        file.ReadAt(header.BlockOffset(n), head, sizeof head);
        TBlockInfo info;
        info.Number = static_cast<std::uint16_t>(n);
        info.Next = Le16(head);
        info.Prev = Le16(head + 2);
        info.LastRecordOffset = LeI16(head + 4);
        std::string why;
        info.RecordCount = RecordsFromLastOffset(info.LastRecordOffset, header.RecordSize, header.Capacity(), &why);
        info.OffsetValid = why.empty();
        info.InChain = n < chainBlocks.size() && chainBlocks[n];
        scan.Blocks.push_back(info);
    }

    // The free list: singly linked through `next`, every block empty and outside the chain.
    std::uint32_t freeCount = 0;
    std::uint16_t n = header.FirstFreeBlock;
    std::uint16_t from = 0;
    while (n != 0) {
        if (n > count) {
            report(TProblemKind::FreeList, from, rtl::Format(rtl::TMsg::FreeListOutside, {std::to_string(n)}));
            break;
        }
        TBlockInfo& b = scan.Blocks[n - 1];
        if (b.OnFreeList) {
            report(TProblemKind::FreeList, n, rtl::Text(rtl::TMsg::FreeListLoops));
            break;
        }
        if (b.InChain) {
            report(TProblemKind::FreeList, n, rtl::Text(rtl::TMsg::FreeListInChain));
            break;
        }
        b.OnFreeList = true;
        ++freeCount;
        if (b.LastRecordOffset != -static_cast<int>(header.RecordSize))
            report(TProblemKind::FreeList, n, rtl::Text(rtl::TMsg::FreeBlockNotEmpty));
        from = n;
        n = b.Next;
    }

    std::uint32_t chainCount = 0;
    for (const auto& b : scan.Blocks) chainCount += b.InChain ? 1 : 0;
    // Only meaningful when the chain itself is whole; a broken chain is reported already.
    if (chainCount == header.BlocksInUse && chainCount + freeCount != header.BlocksAllocated)
        report(TProblemKind::FreeList, 0,
               rtl::Format(rtl::TMsg::FreeListSum, {std::to_string(chainCount), std::to_string(freeCount),
                   std::to_string(header.BlocksAllocated)}));
    for (const std::uint16_t orphan : scan.OrphanBlocks())
        report(TProblemKind::OrphanBlock, orphan,
               rtl::Format(rtl::TMsg::OrphanBlockRecords, {std::to_string(scan.Blocks[orphan - 1].RecordCount)}));
    return scan;
}

} // namespace engine::paradox
