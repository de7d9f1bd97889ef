#include "platform/engine/paradox/TableGeometry.h"

#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <set>

namespace engine::paradox {

namespace {

constexpr std::uint32_t HeaderUnit = 0x800;
constexpr std::uint32_t BlockKiBs[] = {1, 2, 3, 4, 8, 16, 32};

struct TBlockHead {
    std::uint16_t Next = 0;
    std::uint16_t Prev = 0;
    std::int16_t LastRecordOffset = 0;
};

bool ReadBlockHead(const TRandomAccessFile& file, std::uint64_t offset, TBlockHead& head) {
    std::uint8_t b[BlockHeaderSize];
    if (offset + BlockHeaderSize > file.Size() || file.ReadAt(offset, b, sizeof b) != sizeof b) return false;
    head.Next = Le16(b);
    head.Prev = Le16(b + 2);
    head.LastRecordOffset = LeI16(b + 4);
    return true;
}

// Records a block holds by its last-record offset under `g`; -1 when the offset is impossible.
int RecordsOf(const TBlockHead& head, const TTableGeometry& g) {
    const int size = g.RecordSize;
    if (head.LastRecordOffset == -size) return 0;
    if (head.LastRecordOffset < 0 || head.LastRecordOffset % size != 0) return -1;
    const int records = head.LastRecordOffset / size + 1;
    return records <= static_cast<int>((g.BlockSize - BlockHeaderSize) / g.RecordSize) ? records : -1;
}

bool Plausible(const TTableGeometry& g, std::uint64_t fileSize) {
    return g.RecordSize > 0 && g.BlockSize >= static_cast<std::uint32_t>(BlockHeaderSize + g.RecordSize) &&
           g.HeaderSize + static_cast<std::uint64_t>(BlockHeaderSize) <= fileSize;
}

} // namespace

std::string TTableGeometry::Describe() const {
    return "header of " + std::to_string(HeaderSize) + " bytes, blocks of " + std::to_string(BlockSize / 1024) +
           " KiB, records of " + std::to_string(RecordSize) + " bytes";
}

TTableGeometry StoredGeometry(const TTableHeader& h) {
    return TTableGeometry{h.HeaderSize, h.BlockSize, h.StoredRecordSize};
}

std::string UnusableFieldList(const TTableHeader& h) {
    if (h.StoredRecordSize == 0) return rtl::Text(rtl::TMsg::FieldListZeroRecordSize);
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const TFieldInfo& f = h.Fields[i];
        if (FieldTypeFromCode(f.TypeCode) == TFieldType::Unknown)
            return rtl::Format(rtl::TMsg::FieldListUnknownType, {std::to_string(i + 1), std::to_string(f.TypeCode)});
        if (!f.SizeFitsType())
            return rtl::Format(rtl::TMsg::FieldListImpossibleSize, {std::to_string(i + 1), f.Name,
                   std::string(1, FieldTypeChar(f.TypeCode)), std::to_string(f.SizeByte)});
    }
    if (h.FieldsSize() == 0) return rtl::Text(rtl::TMsg::FieldListNoRoom);
    return {};
}

bool GeometryFitsFile(const TRandomAccessFile& file, const TTableHeader& h) {
    if (h.StoredRecordSize != h.FieldsSize() || h.RecordSize != h.StoredRecordSize) return false;
    if (h.ContentSize > h.HeaderSize) return false;
    const std::uint64_t size = file.Size();
    if (h.BlocksAllocated == 0) return size <= h.HeaderSize;
    const std::uint64_t lastBlock = h.HeaderSize + static_cast<std::uint64_t>(h.BlocksAllocated - 1) * h.BlockSize;
    if (size < lastBlock + BlockHeaderSize || size > lastBlock + h.BlockSize) return false;
    TBlockHead first;
    const std::uint16_t number = h.FirstBlock ? h.FirstBlock : 1;
    if (number > h.BlocksAllocated || !ReadBlockHead(file, h.BlockOffset(number), first)) return false;
    return first.Prev == 0 && RecordsOf(first, StoredGeometry(h)) >= 0;
}

std::uint64_t RecordsUnder(const TRandomAccessFile& file, const TTableHeader& h, const TTableGeometry& g) {
    const std::uint64_t size = file.Size();
    if (!Plausible(g, size)) return 0;
    const auto count = static_cast<std::uint32_t>(
        std::min<std::uint64_t>((size - g.HeaderSize - BlockHeaderSize) / g.BlockSize + 1, 0xFFFF));
    std::vector<TBlockHead> heads(count + 1);
    std::vector<int> records(count + 1, -1);
    for (std::uint32_t n = 1; n <= count; ++n)
        if (ReadBlockHead(file, g.HeaderSize + static_cast<std::uint64_t>(n - 1) * g.BlockSize, heads[n]))
            records[n] = RecordsOf(heads[n], g);
    const std::uint16_t first = h.FirstBlock ? h.FirstBlock : 1;
    std::uint64_t total = 0;
    for (std::uint32_t n = 1; n <= count; ++n) {
        if (records[n] <= 0) continue;
        const TBlockHead& b = heads[n];
        const bool nextAgrees = b.Next == 0 || (b.Next <= count && b.Next != n && heads[b.Next].Prev == n);
        const bool prevAgrees = b.Prev == 0 || (b.Prev <= count && b.Prev != n && heads[b.Prev].Next == n);
        // A block linked to nothing is a table of one block, or bytes that only look like a
        // block header (zeros inside a record read as one).
        const bool alone = b.Next == 0 && b.Prev == 0;
        if (nextAgrees && prevAgrees && (!alone || n == first)) total += static_cast<std::uint64_t>(records[n]);
    }
    return total;
}

TGeometryChoice ChooseGeometry(const TRandomAccessFile& file, const TTableHeader& h) {
    TGeometryChoice choice;
    choice.Geometry = StoredGeometry(h);
    if (GeometryFitsFile(file, h)) return choice;
    // The header's own, as the reader reads it (a record size too small for the fields raised).
    const TTableGeometry own{h.HeaderSize, h.BlockSize, h.RecordSize};
    choice.Geometry = own;
    choice.Records = RecordsUnder(file, h, own);

    const std::uint64_t size = file.Size();
    std::set<std::uint32_t> headerSizes{h.HeaderSize, h.ContentSize};
    for (std::uint32_t s = HeaderUnit; s <= 0xFFFF; s += HeaderUnit) headerSizes.insert(s);
    std::set<std::uint32_t> blockSizes{h.BlockSize};
    for (const std::uint32_t kib : BlockKiBs) blockSizes.insert(kib * 1024);
    std::set<std::uint16_t> recordSizes{h.StoredRecordSize, h.RecordSize};
    if (h.FieldsSize() > 0 && h.FieldsSize() <= 0xFFFF) recordSizes.insert(static_cast<std::uint16_t>(h.FieldsSize()));

    for (const std::uint32_t headerSize : headerSizes) {
        // Block 1 begins right after the header and never links back.
        TBlockHead head;
        if (headerSize < h.ContentSize || headerSize > 0xFFFF || !ReadBlockHead(file, headerSize, head) ||
            head.Prev != 0)
            continue;
        for (const std::uint32_t blockSize : blockSizes)
            for (const std::uint16_t recordSize : recordSizes) {
                const TTableGeometry g{static_cast<std::uint16_t>(headerSize), blockSize, recordSize};
                if (g == own || !Plausible(g, size)) continue;
                const std::uint64_t records = RecordsUnder(file, h, g);
                if (records > choice.Records) {
                    choice.Geometry = g;
                    choice.Records = records;
                }
            }
    }
    choice.Changed = !(choice.Geometry == StoredGeometry(h));
    return choice;
}

void ApplyGeometry(TTableHeader& h, const TTableGeometry& g) {
    h.HeaderSize = g.HeaderSize;
    h.BlockSize = g.BlockSize;
    h.RecordSize = g.RecordSize;
}

void WriteGeometry(std::vector<std::uint8_t>& headerBytes, const TTableGeometry& g) {
    if (headerBytes.size() < 6) return;
    headerBytes[0] = static_cast<std::uint8_t>(g.RecordSize & 0xFF);
    headerBytes[1] = static_cast<std::uint8_t>(g.RecordSize >> 8);
    headerBytes[2] = static_cast<std::uint8_t>(g.HeaderSize & 0xFF);
    headerBytes[3] = static_cast<std::uint8_t>(g.HeaderSize >> 8);
    headerBytes[5] = static_cast<std::uint8_t>(g.BlockSize / 1024);
}

} // namespace engine::paradox
