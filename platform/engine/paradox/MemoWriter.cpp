#include "platform/engine/paradox/MemoWriter.h"

#include "platform/engine/paradox/ByteOrderWrite.h"
#include "platform/engine/paradox/MemoFile.h"
#include "platform/engine/EngineErrors.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace engine::paradox {

namespace {

constexpr std::uint32_t SubSlotTable = 12;
constexpr int SubSlotCount = 64;
constexpr std::uint32_t SubDataStart = 0x150;
constexpr std::uint32_t SingleHeaderSize = 9;
// Blobs up to this size share blocks; larger ones get blocks of their own.
constexpr std::size_t SharedLimit = 2048;
// Blocks are written in runs of this much: a system call per 4 KiB block cost a rebuild of
// a table with memos more than the copying of its blobs.
constexpr std::size_t WriteRun = 256 * 1024;

std::vector<std::uint8_t> HeaderBlock(std::uint16_t modCount) {
    std::vector<std::uint8_t> b(MemoBlockSize, 0);
    b[0] = 0;
    PutLe16(&b[1], 1);
    PutLe16(&b[3], modCount);
    const std::uint8_t fixed[] = {0x82, 0x73, 0x02, 0x00, 0x29};
    std::memcpy(&b[5], fixed, sizeof fixed);
    PutLe16(&b[0x0B], 0x1000);
    PutLe16(&b[0x0D], 0x1000);
    b[0x10] = 0x10;
    PutLe16(&b[0x11], 0x40);
    PutLe16(&b[0x13], 0x800);
    PutLe16(&b[0x29], 0x02A1);
    return b;
}

} // namespace

TMemoWriter::TMemoWriter(std::unique_ptr<TWritableFile> file) : file_(std::move(file)) {}

std::unique_ptr<TMemoWriter> TMemoWriter::CreateNew(const std::string& path) {
    auto w = std::unique_ptr<TMemoWriter>(new TMemoWriter(TWritableFile::Create(path)));
    const auto header = HeaderBlock(1);
    w->file_->WriteAt(0, header.data(), header.size());
    w->end_ = MemoBlockSize;
    return w;
}

std::unique_ptr<TMemoWriter> TMemoWriter::OpenForAppend(const std::string& path) {
    // Only a memo file that is surely not there is made anew: one whose status cannot be read
    // holds the table's blobs all the same.
    rtl::TFileStatus st;
    if (rtl::FileSystem().Stat(path, st) != 0 && errno != ENOENT)
        throw EDBEngineError(rtl::Format(rtl::TMsg::FileCannotOpenForWriting, {path, rtl::SystemReason(errno)}),
                             TEngineErrorKind::Io);
    if (!st.IsRegular()) return CreateNew(path);
    auto w = std::unique_ptr<TMemoWriter>(new TMemoWriter(TWritableFile::OpenExisting(path)));
    std::uint8_t head[5];
    w->file_->ReadAt(0, head, sizeof head);
    w->modCount_ = static_cast<std::uint16_t>(head[3] | (head[4] << 8));
    w->end_ = std::max<std::uint64_t>((w->file_->Size() + MemoBlockSize - 1) / MemoBlockSize * MemoBlockSize,
                                      MemoBlockSize);
    if (w->file_->Size() < MemoBlockSize) {
        const auto header = HeaderBlock(1);
        w->file_->WriteAt(0, header.data(), header.size());
        w->modCount_ = 1;
    }
    return w;
}

void TMemoWriter::Put(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
    const std::uint64_t pendingEnd = pendingStart_ + pending_.size();
    if (!pending_.empty() && offset >= pendingStart_ && offset + size <= pendingEnd) {
        std::memcpy(pending_.data() + (offset - pendingStart_), bytes, size);
        return;
    }
    if (pending_.empty() || offset != pendingEnd) {
        FlushPending();
        pendingStart_ = offset;
    }
    pending_.insert(pending_.end(), bytes, bytes + size);
    if (pending_.size() >= WriteRun) FlushPending();
}

void TMemoWriter::FlushPending() {
    if (pending_.empty()) return;
    file_->WriteAt(pendingStart_, pending_.data(), pending_.size());
    pending_.clear();
}

void TMemoWriter::FlushSubBlock() {
    if (subOffset_ == 0) return;
    Put(subOffset_, sub_.data(), sub_.size());
    subOffset_ = 0;
}

void TMemoWriter::Store(const std::string& bytes, std::uint8_t* field, int fieldSize) {
    std::memset(field, 0, static_cast<std::size_t>(fieldSize));
    if (bytes.empty()) return;
    const auto leader = static_cast<std::size_t>(fieldSize - 10);
    std::memcpy(field, bytes.data(), std::min(leader, bytes.size()));
    std::uint8_t* d = field + leader;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    PutLe32(d + 4, length);
    if (bytes.size() <= leader) return;  // the leader holds it all

    modCount_ = static_cast<std::uint16_t>(modCount_ == 0xFFFF ? 1 : modCount_ + 1);
    PutLe16(d + 8, modCount_);
    if (bytes.size() <= SharedLimit) {
        const std::uint32_t chunks = (length + 15) / 16;
        if (subOffset_ == 0 || nextSlot_ < 0 || nextData_ + chunks * 16 > MemoBlockSize) {
            FlushSubBlock();
            sub_.assign(MemoBlockSize, 0);
            sub_[0] = 3;
            PutLe16(&sub_[1], 1);
            subOffset_ = end_;
            // Its place in the run, so that blocks written after it while it fills follow on.
            Put(subOffset_, sub_.data(), sub_.size());
            end_ += MemoBlockSize;
            nextSlot_ = SubSlotCount - 1;
            nextData_ = SubDataStart;
        }
        std::memcpy(&sub_[nextData_], bytes.data(), bytes.size());
        std::uint8_t* slot = &sub_[SubSlotTable + 5 * static_cast<std::uint32_t>(nextSlot_)];
        slot[0] = static_cast<std::uint8_t>(nextData_ / 16);
        slot[1] = static_cast<std::uint8_t>(chunks);
        PutLe16(slot + 2, modCount_);
        slot[4] = static_cast<std::uint8_t>(length - (chunks - 1) * 16);
        PutLe32(d, static_cast<std::uint32_t>(subOffset_) | static_cast<std::uint32_t>(nextSlot_));
        --nextSlot_;
        nextData_ += chunks * 16;
        return;
    }
    const std::uint64_t blocks = (SingleHeaderSize + bytes.size() + MemoBlockSize - 1) / MemoBlockSize;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blocks * MemoBlockSize), 0);
    block[0] = 2;
    PutLe16(&block[1], static_cast<unsigned>(blocks));
    PutLe32(&block[3], length);
    PutLe16(&block[7], modCount_);
    std::memcpy(&block[SingleHeaderSize], bytes.data(), bytes.size());
    Put(end_, block.data(), block.size());
    PutLe32(d, static_cast<std::uint32_t>(end_) | 0xFFu);
    end_ += block.size();
}

void TMemoWriter::Finish() {
    FlushSubBlock();
    FlushPending();
    std::uint8_t mod[2];
    PutLe16(mod, modCount_);
    file_->Sync();  // the blobs first, then the count that says they exist
    file_->WriteAt(3, mod, 2);
    file_->Sync();
}

} // namespace engine::paradox
