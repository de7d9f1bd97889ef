#include "platform/engine/paradox/DataFileWriter.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ByteOrderWrite.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Messages.h"

#include <cstring>

namespace engine::paradox {

namespace {

constexpr std::size_t WriteBatch = 256 * 1024;
constexpr std::uint64_t WritebackStep = 8u << 20;
constexpr std::uint32_t MaxBlocks = 0xFFFF;

void PutBlockHeader(std::uint8_t* b, std::uint16_t next, std::uint16_t prev, int records, int recordSize) {
    const auto last = static_cast<std::int16_t>((records - 1) * recordSize);
    PutLe16(b, next);
    PutLe16(b + 2, prev);
    PutLe16(b + 4, static_cast<std::uint16_t>(last));
}

[[noreturn]] void TooLarge(const std::string& path) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::EngineTooManyBlocks, {path}), TEngineErrorKind::General);
}

} // namespace

TDataFileWriter::TDataFileWriter(const std::string& path, std::vector<std::uint8_t> header, int recordSize,
                                 std::uint32_t blockSize, int keySize)
    : file_(TWritableFile::Create(path)), header_(std::move(header)), recordSize_(recordSize),
      blockSize_(blockSize), keySize_(keySize),
      capacity_(static_cast<int>((blockSize - BlockHeaderSize) / static_cast<std::uint32_t>(recordSize))),
      current_(blockSize, 0), previous_(blockSize, 0) {
    outOffset_ = header_.size();
}

void TDataFileWriter::Add(const std::uint8_t* record) {
    if (inBlock_ == capacity_) EndBlock();
    if (inBlock_ == 0) {
        if (blocks_.size() >= MaxBlocks) TooLarge(file_->Path());
        TChainBlockSummary s;
        s.Block = static_cast<std::uint16_t>(blocks_.size() + 1);
        s.FirstKey.assign(reinterpret_cast<const char*>(record), static_cast<std::size_t>(keySize_));
        blocks_.push_back(std::move(s));
    }
    std::memcpy(current_.data() + BlockHeaderSize + static_cast<std::size_t>(inBlock_) * recordSize_, record,
                static_cast<std::size_t>(recordSize_));
    ++inBlock_;
    ++records_;
    blocks_.back().Records = inBlock_;
}

void TDataFileWriter::EndBlock() {
    if (inBlock_ == 0) return;
    const auto number = static_cast<std::uint16_t>(blocks_.size());
    if (havePrevious_) FlushPrevious(number);
    // Bytes past the last record are zero, so no stale record survives in a written block.
    std::memset(current_.data() + BlockHeaderSize + static_cast<std::size_t>(inBlock_) * recordSize_, 0,
                blockSize_ - BlockHeaderSize - static_cast<std::size_t>(inBlock_) * recordSize_);
    PutBlockHeader(current_.data(), 0, static_cast<std::uint16_t>(number - 1), inBlock_, recordSize_);
    std::swap(current_, previous_);
    havePrevious_ = true;
    inBlock_ = 0;
}

void TDataFileWriter::FlushPrevious(std::uint16_t next) {
    PutLe16(previous_.data(), next);
    out_.insert(out_.end(), previous_.begin(), previous_.end());
    if (out_.size() >= WriteBatch) {
        file_->WriteAt(outOffset_, out_.data(), out_.size());
        outOffset_ += out_.size();
        out_.clear();
        if (outOffset_ - handedToDisk_ >= WritebackStep) {
            file_->StartWriteback();
            handedToDisk_ = outOffset_;
        }
    }
    havePrevious_ = false;
}

void TDataFileWriter::Finish(THeaderCounts counts) {
    EndBlock();
    if (havePrevious_) FlushPrevious(0);
    if (!out_.empty()) file_->WriteAt(outOffset_, out_.data(), out_.size());
    out_.clear();
    counts.RecordCount = static_cast<std::uint32_t>(records_);
    counts.Blocks = static_cast<std::uint16_t>(blocks_.size());
    PatchDataHeader(header_, counts);
    file_->WriteAt(0, header_.data(), header_.size());
    file_->Sync();
}

void WritePrimaryIndex(const std::string& path, const std::vector<TChainBlockSummary>& blocks,
                       const TIndexHeaderInfo& infoIn) {
    TIndexHeaderInfo info = infoIn;
    int keySize = 0;
    for (const auto& f : info.KeyFields) keySize += FieldLayoutSize(f.TypeCode, f.SizeByte);
    const int entrySize = keySize + 6;
    const int perBlock = static_cast<int>((info.BlockSize - BlockHeaderSize) / static_cast<std::uint32_t>(entrySize));
    // A level of one entry per block never narrows to a root: it would fill 65535 blocks
    // before giving up. Such a key cannot be indexed at this block size at all.
    if (perBlock < 1 || (perBlock < 2 && blocks.size() > 1))
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineKeyTooLarge,
                                         {path, std::to_string(keySize), std::to_string(info.BlockSize)}),
                             TEngineErrorKind::General);

    struct TEntry {
        std::string Key;
        std::uint16_t Child;
        std::uint32_t Count;
    };
    std::vector<TEntry> level;
    level.reserve(blocks.size());
    for (const auto& b : blocks) level.push_back(TEntry{b.FirstKey, b.Block, static_cast<std::uint32_t>(b.Records)});

    auto file = TWritableFile::Create(path);
    std::vector<std::uint8_t> block(info.BlockSize, 0);
    std::uint32_t written = 0;
    std::uint32_t entries = 0;
    std::uint8_t levels = 0;
    // Levels are written bottom-up; blocks are linked in file order, as the index's block
    // list is not in level order anyway.
    while (!level.empty()) {
        ++levels;
        std::vector<TEntry> upper;
        for (std::size_t i = 0; i < level.size(); i += static_cast<std::size_t>(perBlock)) {
            const std::size_t n = std::min(level.size() - i, static_cast<std::size_t>(perBlock));
            if (written + 1 > MaxBlocks) TooLarge(path);
            const auto number = static_cast<std::uint16_t>(++written);
            std::fill(block.begin(), block.end(), 0);
            std::uint32_t total = 0;
            for (std::size_t k = 0; k < n; ++k) {
                const TEntry& e = level[i + k];
                std::uint8_t* p = block.data() + BlockHeaderSize + k * static_cast<std::size_t>(entrySize);
                std::memcpy(p, e.Key.data(), static_cast<std::size_t>(keySize));
                EncodeFlippedInt(static_cast<std::int16_t>(e.Child), p + keySize, 2);
                // Counts are 16-bit on disk; larger sums keep their low bits.
                EncodeFlippedInt(static_cast<std::int16_t>(e.Count & 0xFFFF), p + keySize + 2, 2);
                EncodeFlippedInt(0, p + keySize + 4, 2);
                total += e.Count;
            }
            entries += static_cast<std::uint32_t>(n);
            const bool lastOfAll = level.size() <= static_cast<std::size_t>(perBlock);
            PutBlockHeader(block.data(), 0, static_cast<std::uint16_t>(number - 1), static_cast<int>(n), entrySize);
            if (!lastOfAll) {  // more blocks follow: the rest of this level or an upper one
                PutLe16(block.data(), static_cast<unsigned>(number + 1));
            }
            file->WriteAt(2048 + static_cast<std::uint64_t>(number - 1) * info.BlockSize, block.data(), block.size());
            upper.push_back(TEntry{level[i].Key, number, total});
        }
        if (upper.size() == 1) {
            info.Root = upper[0].Child;
            break;
        }
        level = std::move(upper);
    }
    info.Entries = entries;
    info.Blocks = static_cast<std::uint16_t>(written);
    info.Levels = levels ? levels : 1;
    const auto header = BuildIndexHeader(info);
    file->WriteAt(0, header.data(), header.size());
    file->Sync();
}

} // namespace engine::paradox
