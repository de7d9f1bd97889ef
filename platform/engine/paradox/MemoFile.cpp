#include "platform/engine/paradox/MemoFile.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <cstring>


namespace engine::paradox {

namespace {
constexpr std::uint8_t BlockHeader = 0;
constexpr std::uint8_t BlockSingle = 2;
constexpr std::uint8_t BlockSuballocated = 3;
constexpr std::uint32_t SubSlotTable = 12;
constexpr std::uint32_t SubSlotCount = 64;
constexpr std::uint32_t SubSlotSize = 5;
// Lengths are checked against the block and the file before anything is allocated, so a
// garbage descriptor cannot make the reader allocate gigabytes.
constexpr std::uint32_t SingleHeaderSize = 9;

// The store's own length and modification number must be the ones the record names.
bool MatchesDescriptor(const TBlobDescriptor& d, std::uint32_t length, std::uint16_t mod, std::string& error) {
    if (length != d.Length)
        error = rtl::Format(rtl::TMsg::BlobLengthDiffers, {std::to_string(length), std::to_string(d.Length)});
    else if (mod != d.ModNumber)
        error = rtl::Text(rtl::TMsg::BlobModDiffers);
    return error.empty();
}
} // namespace

TBlobDescriptor ReadBlobDescriptor(const std::uint8_t* field, int fieldSize) {
    const std::uint8_t* d = field + fieldSize - 10;
    return TBlobDescriptor{Le32(d), Le32(d + 4), Le16(d + 8)};
}

std::unique_ptr<TMemoFile> TMemoFile::Open(const std::string& path, bool encrypted, TProblemList& problems) {
    auto memo = std::unique_ptr<TMemoFile>(new TMemoFile());
    memo->path_ = path;
    const std::string name = rtl::ExtractFileName(path);
    if (path.empty()) {
        memo->error_ = rtl::Text(rtl::TMsg::MemoMissing);
        return memo;
    }
    try {
        memo->file_ = TRandomAccessFile::Open(path);
    } catch (const EDBEngineError& e) {
        memo->error_ = rtl::Format(rtl::TMsg::MemoCannotOpen, {e.Message()});
        problems.push_back(TTableProblem{TProblemKind::MemoFile, name, 0, 0, e.Message()});
        return memo;
    }
    if (encrypted) {
        memo->error_ = rtl::Text(rtl::TMsg::MemoEncrypted);
        return memo;
    }
    std::uint8_t head[16];
    memo->file_->ReadAt(0, head, sizeof head);
    if (memo->file_->Size() < MemoBlockSize || head[0] != BlockHeader) {
        memo->error_ = rtl::Text(rtl::TMsg::MemoHeaderDamaged);
        problems.push_back(TTableProblem{TProblemKind::MemoFile, name, 0, 0, memo->error_});
        memo->error_.clear();  // blobs are still looked up, each checked on its own
    }
    if (memo->file_->Size() % MemoBlockSize != 0)
        problems.push_back(TTableProblem{TProblemKind::MemoFile, name, 0, memo->file_->Size(),
                                         rtl::Text(rtl::TMsg::MemoSizeNotMultiple)});
    return memo;
}

void TMemoFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
    const std::uint64_t block = offset / MemoBlockSize * MemoBlockSize;
    if (offset + length > block + MemoBlockSize) {
        file_->ReadAt(offset, buffer, length);
        return;
    }
    if (block != cachedBlock_) {
        cache_.resize(MemoBlockSize);
        file_->ReadAt(block, cache_.data(), MemoBlockSize);
        cachedBlock_ = block;
    }
    std::memcpy(buffer, cache_.data() + (offset - block), length);
}

TBlobResult TMemoFile::Read(const TBlobDescriptor& d) const {
    TBlobResult r;
    if (!file_ || !error_.empty()) {
        r.Error = error_.empty() ? rtl::Text(rtl::TMsg::MemoMissing) : error_;
        return r;
    }
    const std::uint64_t offset = d.Offset();
    const std::uint64_t size = file_->Size();
    if (offset == 0 || offset % MemoBlockSize != 0 || offset >= size) {
        r.Error = rtl::Format(rtl::TMsg::BlobOffsetOutside, {std::to_string(offset)});
        return r;
    }
    std::uint8_t head[SingleHeaderSize];
    ReadAt(offset, head, sizeof head);
    if (d.Index() == 0xFF) {
        if (head[0] != BlockSingle) {
            r.Error = rtl::Format(rtl::TMsg::BlobNotSingleBlock, {std::to_string(offset)});
            return r;
        }
        const std::uint32_t length = Le32(head + 3);
        const std::uint16_t mod = Le16(head + 7);
        const std::uint64_t blocks = Le16(head + 1);
        if (!MatchesDescriptor(d, length, mod, r.Error)) return r;
        if (SingleHeaderSize + static_cast<std::uint64_t>(length) > blocks * MemoBlockSize ||
            offset + SingleHeaderSize + length > size) {
            r.Error = rtl::Format(rtl::TMsg::BlobRunsPastFile, {std::to_string(length)});
            return r;
        }
        r.Bytes.resize(length);
        ReadAt(offset + SingleHeaderSize, r.Bytes.data(), length);
        r.Ok = true;
        return r;
    }
    if (head[0] != BlockSuballocated) {
        r.Error = rtl::Format(rtl::TMsg::BlobNotSuballocated, {std::to_string(offset)});
        return r;
    }
    if (d.Index() >= SubSlotCount) {
        r.Error = rtl::Format(rtl::TMsg::BlobSlotMissing, {std::to_string(d.Index())});
        return r;
    }
    std::uint8_t slot[SubSlotSize];
    ReadAt(offset + SubSlotTable + SubSlotSize * d.Index(), slot, sizeof slot);
    const std::uint32_t dataOffset = slot[0] * 16u;
    const std::uint32_t chunks = slot[1];
    const std::uint16_t mod = Le16(slot + 2);
    const std::uint32_t last = slot[4];
    if (dataOffset == 0 || chunks == 0 || last == 0 || last > 16) {
        r.Error = rtl::Format(rtl::TMsg::BlobSlotDamaged, {std::to_string(d.Index())});
        return r;
    }
    const std::uint32_t length = (chunks - 1) * 16 + last;
    if (!MatchesDescriptor(d, length, mod, r.Error)) return r;
    if (dataOffset + length > MemoBlockSize || offset + dataOffset + length > size) {
        r.Error = rtl::Text(rtl::TMsg::BlobRunsPastBlock);
        return r;
    }
    r.Bytes.resize(length);
    ReadAt(offset + dataOffset, r.Bytes.data(), length);
    r.Ok = true;
    return r;
}

TBlobResult ReadBlobField(const std::uint8_t* field, int fieldSize, const TMemoFile* memo) {
    TBlobResult r;
    if (fieldSize < BlobDescriptorSize) {
        r.Error = rtl::Text(rtl::TMsg::BlobFieldTooSmall);
        return r;
    }
    const int leaderSize = fieldSize - BlobDescriptorSize;
    const TBlobDescriptor d = ReadBlobDescriptor(field, fieldSize);
    if (d.Length == 0) {
        r.Ok = true;  // empty (or blank) blob
        return r;
    }
    if (d.Length <= static_cast<std::uint32_t>(leaderSize) && d.OffsetAndIndex == 0) {
        r.Bytes.assign(reinterpret_cast<const char*>(field), d.Length);
        r.Ok = true;
        return r;
    }
    if (!memo) {
        r.Error = rtl::Text(rtl::TMsg::MemoMissing);
        return r;
    }
    return memo->Read(d);
}

} // namespace engine::paradox
