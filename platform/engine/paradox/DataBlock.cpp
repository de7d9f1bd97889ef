#include "platform/engine/paradox/DataBlock.h"

#include "platform/engine/paradox/ByteOrder.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <algorithm>

namespace engine::paradox {

int RecordsFromLastOffset(std::int16_t lastOffset, int recordSize, int capacity, std::string* why) {
    if (lastOffset == -recordSize) return 0;
    auto say = [&](const std::string& text) {
        if (why) *why = text;
    };
    if (lastOffset < 0) {
        say(rtl::Format(rtl::TMsg::ChainImpossibleLastOffset, {std::to_string(lastOffset)}));
        return 0;
    }
    int records = lastOffset / recordSize + 1;
    if (lastOffset % recordSize != 0) {
        say(rtl::Format(rtl::TMsg::ChainOffsetNotMultiple, {std::to_string(lastOffset), std::to_string(recordSize)}));
    }
    if (records > capacity) {
        say(rtl::Format(rtl::TMsg::ChainOffsetBeyondBlock, {std::to_string(lastOffset), std::to_string(capacity)}));
        records = capacity;
    }
    return records;
}

bool ReadDataBlock(const TRandomAccessFile& file, const TTableHeader& header, std::uint16_t number,
                   TDataBlock& block, std::string* why, bool headerOnly) {
    block.Number = number;
    block.FileOffset = header.BlockOffset(number);
    block.Bytes.resize(headerOnly ? BlockHeaderSize : header.BlockSize);
    if (number == 0 || block.FileOffset + BlockHeaderSize > file.Size()) {
        block.BytesInFile = 0;
        return false;
    }
    block.BytesInFile = file.ReadAt(block.FileOffset, block.Bytes.data(), block.Bytes.size());
    // What a whole read would have found in the file.
    if (headerOnly && block.BytesInFile == BlockHeaderSize)
        block.BytesInFile =
            static_cast<std::size_t>(std::min<std::uint64_t>(header.BlockSize, file.Size() - block.FileOffset));
    const std::uint8_t* p = block.Bytes.data();
    block.Next = Le16(p);
    block.Prev = Le16(p + 2);
    block.LastRecordOffset = LeI16(p + 4);
    block.RecordCount = RecordsFromLastOffset(block.LastRecordOffset, header.RecordSize, header.Capacity(), why);
    return true;
}

TBlockChainCursor::TBlockChainCursor(const TRandomAccessFile& file, const TTableHeader& header,
                                     TProblemList& problems, bool headersOnly)
    : file_(file), header_(header), problems_(problems), fileName_(rtl::ExtractFileName(file.Path())),
      visited_(0x10000, false), headersOnly_(headersOnly) {
    next_ = header.FirstBlock;
    if (next_ == 0 && header.BlocksInUse != 0) {
        Report(TProblemKind::ChainLength, 0, rtl::Format(rtl::TMsg::ChainNoFirstBlock, {std::to_string(header.BlocksInUse)}));
        // Block 1 always starts the chain when there is one.
        if (header.PhysicalBlocks() > 0) next_ = 1;
    }
    finished_ = header.IsEncrypted();
}

void TBlockChainCursor::Report(TProblemKind kind, std::uint32_t block, const std::string& text) {
    const std::uint64_t offset = block ? header_.BlockOffset(block) : 0;
    problems_.push_back(TTableProblem{kind, fileName_, block, offset, text});
}

bool TBlockChainCursor::Next() {
    if (finished_) return false;
    if (next_ == 0) {
        Finish();
        return false;
    }
    const std::uint16_t number = next_;
    if (number > header_.PhysicalBlocks()) {
        Report(TProblemKind::BlockRange, previous_,
               rtl::Format(rtl::TMsg::ChainLinkOutside, {std::to_string(number), std::to_string(header_.PhysicalBlocks())}));
        Finish();
        return false;
    }
    if (visited_[number]) {
        Report(TProblemKind::ChainLoop, previous_, rtl::Format(rtl::TMsg::ChainLoops, {std::to_string(number)}));
        Finish();
        return false;
    }
    std::string why;
    if (!ReadDataBlock(file_, header_, number, block_, &why, headersOnly_)) {
        Report(TProblemKind::BlockRange, number, rtl::Format(rtl::TMsg::ChainBlockUnreadable, {std::to_string(number)}));
        Finish();
        return false;
    }
    visited_[number] = true;
    if (number > header_.BlocksAllocated)
        Report(TProblemKind::BlockRange, number,
               rtl::Format(rtl::TMsg::ChainBlockBeyondAllocated, {std::to_string(header_.BlocksAllocated)}));
    if (!why.empty()) Report(TProblemKind::RecordOffset, number, why);
    if (block_.Prev != previous_)
        Report(TProblemKind::BackLink, number,
               rtl::Format(rtl::TMsg::ChainBackLink, {std::to_string(block_.Prev), std::to_string(previous_)}));
    // Records that would start beyond the end of the file do not exist; one the end of the
    // file cuts off reads with zeros, and is damage all the same (a short final block whose
    // records are whole is not).
    const std::size_t usable = block_.BytesInFile > BlockHeaderSize ? block_.BytesInFile - BlockHeaderSize : 0;
    const int present = static_cast<int>((usable + header_.RecordSize - 1) / header_.RecordSize);
    if (block_.RecordCount > present) {
        Report(TProblemKind::Truncated, number,
               rtl::Format(rtl::TMsg::ChainRecordsBeyondEnd, {std::to_string(block_.RecordCount - present)}));
        block_.RecordCount = present;
    }
    const int whole = static_cast<int>(usable / header_.RecordSize);
    if (block_.RecordCount > whole)
        Report(TProblemKind::Truncated, number,
               "record " + std::to_string(whole + 1) + " of the block is cut off by the end of the file (" +
                   std::to_string(usable % header_.RecordSize) + " of its " + std::to_string(header_.RecordSize) +
                   " bytes are there)");
    ++blocksRead_;
    recordsRead_ += static_cast<std::uint64_t>(block_.RecordCount);
    previous_ = number;
    next_ = block_.Next;
    return true;
}

void TBlockChainCursor::Finish() {
    if (finished_) return;
    finished_ = true;
    if (blocksRead_ != header_.BlocksInUse)
        Report(TProblemKind::ChainLength, 0,
               rtl::Format(rtl::TMsg::ChainLengthMismatch, {std::to_string(blocksRead_), std::to_string(header_.BlocksInUse)}));
    if (previous_ != header_.LastBlock && blocksRead_ > 0)
        Report(TProblemKind::ChainLength, 0,
               rtl::Format(rtl::TMsg::ChainEndMismatch, {std::to_string(previous_), std::to_string(header_.LastBlock)}));
    if (recordsRead_ != header_.RecordCount)
        Report(TProblemKind::RecordCount, 0,
               rtl::Format(rtl::TMsg::ChainRecordCountMismatch, {std::to_string(recordsRead_), std::to_string(header_.RecordCount)}));
}

} // namespace engine::paradox
