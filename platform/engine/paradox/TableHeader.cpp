#include "platform/engine/paradox/TableHeader.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <algorithm>

namespace engine::paradox {

namespace {

constexpr std::size_t FixedPartSize = 0x58;
constexpr std::size_t ExtendedPartEnd = 0x78;
// Headers are at most 64 KiB (the size is a 16-bit value); reading that much once is cheap
// and lets a damaged size field be checked against the content.
constexpr std::size_t MaxHeaderRead = 0x10000;

[[noreturn]] void Fail(const TRandomAccessFile& file, const std::string& what, EngineErrorKind kind) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::TableCannotBeOpened, {rtl::ExtractFileName(file.Path()), what}),
                         kind);
}

// A NUL-terminated string inside [pos, end); false when no terminator is found.
bool ReadCString(const std::vector<std::uint8_t>& buf, std::size_t& pos, std::size_t end, std::string& out) {
    end = std::min(end, buf.size());
    if (pos >= end) return false;
    const auto* begin = buf.data() + pos;
    const auto* stop = buf.data() + end;
    const auto* nul = std::find(begin, stop, 0);
    if (nul == stop) return false;
    out.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(nul - begin));
    pos = static_cast<std::size_t>(nul - buf.data()) + 1;
    return true;
}

} // namespace

bool TFieldInfo::SizeFitsType() const { return FieldStorageSize(TypeCode, SizeByte) == Size; }

bool TTableHeader::IsIndexTree() const {
    return FileType == filePrimaryIndex || FileType == fileSecondaryTree || FileType == fileSecondaryTreeG;
}

int TTableHeader::FieldsSize() const {
    int sum = 0;
    for (const auto& f : Fields) sum += f.Size;
    return sum;
}

int TTableHeader::Capacity() const {
    return RecordSize == 0 || BlockSize < 6 ? 0 : static_cast<int>((BlockSize - 6) / RecordSize);
}

std::uint32_t TTableHeader::PhysicalBlocks() const {
    if (FileSize <= HeaderSize || BlockSize == 0) return 0;
    const std::uint64_t n = (FileSize - HeaderSize + BlockSize - 1) / BlockSize;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFF));
}

std::string TTableHeader::VersionText() const {
    if (Version == 3) return "3.0";
    if (Version == 4) return "3.5";
    if (Version >= 5 && Version <= 9) return "4.x";
    if (Version == 10 || Version == 11) return "5.x";
    if (Version == 12) return "7.x";
    return "unknown (" + std::to_string(Version) + ")";
}

TTableHeader ReadTableHeader(const TRandomAccessFile& file, TProblemList& problems) {
    const std::string fileName = rtl::ExtractFileName(file.Path());
    auto problem = [&](const std::string& text, std::uint64_t offset = 0) {
        problems.push_back(TTableProblem{ProblemKind::Header, fileName, 0, offset, text});
    };
    TTableHeader h;
    auto layoutProblem = [&](const std::string& text, std::uint64_t offset = 0) {
        problem(text, offset);
        if (h.LayoutProblem.empty()) h.LayoutProblem = text;
    };

    h.FileSize = file.Size();
    if (h.FileSize < FixedPartSize) Fail(file, rtl::Text(rtl::TMsg::HeaderTooShort), EngineErrorKind::NotATable);

    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(h.FileSize, MaxHeaderRead)));
    file.ReadAt(0, buf.data(), buf.size());
    const std::uint8_t* p = buf.data();

    h.RecordSize = Le16(p + 0x00);
    h.HeaderSize = Le16(p + 0x02);
    h.FileType = p[0x04];
    const unsigned blockKiB = p[0x05];
    h.RecordCount = Le32(p + 0x06);
    h.BlocksInUse = Le16(p + 0x0A);
    h.BlocksAllocated = Le16(p + 0x0C);
    h.FirstBlock = Le16(p + 0x0E);
    h.LastBlock = Le16(p + 0x10);
    h.FirstIndexedField = p[0x15];
    h.IndexRoot = Le16(p + 0x1E);
    h.IndexLevels = p[0x20];
    const unsigned fieldCount = Le16(p + 0x21);
    h.KeyFieldCount = Le16(p + 0x23);
    h.SortOrderCode = p[0x29];
    h.Version = p[0x39];
    h.AutoIncrement = Le32(p + 0x49);
    h.FirstFreeBlock = Le16(p + 0x4D);
    h.IndexOrder = p[0x55];

    if (h.FileType > fileSecondaryDataGInc)
        Fail(file, rtl::Format(rtl::TMsg::HeaderUnknownType, {std::to_string(h.FileType)}), EngineErrorKind::NotATable);
    if (h.Version < 3 || h.Version > 12)
        Fail(file, rtl::Format(rtl::TMsg::HeaderUnknownVersion, {std::to_string(h.Version)}), EngineErrorKind::NotATable);
    if (blockKiB < 1 || blockKiB > 32)
        Fail(file, rtl::Format(rtl::TMsg::HeaderBadBlockSize, {std::to_string(blockKiB)}), EngineErrorKind::Corrupt);
    h.BlockSize = blockKiB * 1024;
    if (fieldCount < 1 || fieldCount > 255)
        Fail(file, rtl::Format(rtl::TMsg::HeaderBadFieldCount, {std::to_string(fieldCount)}), EngineErrorKind::Corrupt);
    if (h.HeaderSize < FixedPartSize)
        Fail(file, rtl::Format(rtl::TMsg::HeaderBadHeaderSize, {std::to_string(h.HeaderSize)}), EngineErrorKind::Corrupt);

    const bool dataFamily = !h.IsIndexTree();
    const bool extended = dataFamily && h.Version >= 5;
    if (extended && buf.size() < ExtendedPartEnd) Fail(file, rtl::Text(rtl::TMsg::HeaderCutOff), EngineErrorKind::Corrupt);
    if (extended) {
        h.EncryptionKey = Le32(p + 0x5C);
        h.CodePage = Le16(p + 0x6A);
    } else {
        h.EncryptionKey = Le32(p + 0x25);
    }
    if (p[0x14] != 0 || p[0x2A] != 0) problem("the header's modified flags are set (the table was not closed properly)");

    // Field descriptors.
    std::size_t pos = extended ? ExtendedPartEnd : FixedPartSize;
    if (pos + 2 * fieldCount > buf.size()) Fail(file, rtl::Text(rtl::TMsg::HeaderFieldListCutOff), EngineErrorKind::Corrupt);
    int offset = 0;
    for (unsigned i = 0; i < fieldCount; ++i) {
        TFieldInfo f;
        f.TypeCode = p[pos + 2 * i];
        f.SizeByte = p[pos + 2 * i + 1];
        if (FieldStorageSize(f.TypeCode, f.SizeByte) < 0)
            layoutProblem(rtl::Format(rtl::TMsg::LayoutFieldImpossible, {std::to_string(i + 1), std::to_string(f.TypeCode),
                                                             std::to_string(f.SizeByte)}),
                          pos + 2 * i);
        f.Size = FieldLayoutSize(f.TypeCode, f.SizeByte);
        f.Offset = offset;
        offset += f.Size;
        h.Fields.push_back(std::move(f));
    }
    pos += 2 * fieldCount;

    // Record layout: the fields' sizes against the header's record size. Index trees carry
    // three shorts after the key.
    const int expected = offset + (h.IsIndexTree() ? 6 : 0);
    if (expected != h.RecordSize) {
        layoutProblem(rtl::Format(rtl::TMsg::LayoutRecordSize, {std::to_string(h.RecordSize), std::to_string(expected)}));
        // Records are packed at the header's stride; it is kept when the fields fit in it.
        if (h.RecordSize < expected) h.RecordSize = static_cast<std::uint16_t>(std::min(expected, 0xFFFF));
    }
    if (h.RecordSize == 0 || h.RecordSize > h.BlockSize - 6)
        Fail(file, rtl::Format(rtl::TMsg::HeaderRecordTooLarge, {std::to_string(h.RecordSize), std::to_string(h.BlockSize)}), EngineErrorKind::Corrupt);

    pos += 4;                         // run-time pointer to the table name
    if (dataFamily) pos += 4 * fieldCount;  // run-time pointers to field names
    const std::size_t nameWidth = h.Version >= 12 ? 261 : 79;
    bool namesRead = false;
    if (pos + nameWidth <= buf.size()) {
        const auto* b = p + pos;
        const auto* nul = std::find(b, b + nameWidth, 0);
        h.TableName = ToUtf8(std::string(reinterpret_cast<const char*>(b), static_cast<std::size_t>(nul - b)),
                             h.EffectiveCodePage());
        pos += nameWidth;
        if (dataFamily) {
            namesRead = true;
            for (unsigned i = 0; i < fieldCount; ++i) {
                std::string raw;
                if (!ReadCString(buf, pos, buf.size(), raw)) {
                    namesRead = false;
                    break;
                }
                h.Fields[i].Name = ToUtf8(raw, h.EffectiveCodePage());
            }
        }
    }
    if (dataFamily && !namesRead) layoutProblem(rtl::Text(rtl::TMsg::LayoutNamesCutOff));
    // Index trees store no names; unreadable names get placeholders so columns stay apart.
    for (std::size_t i = 0; i < h.Fields.size(); ++i)
        if (h.Fields[i].Name.empty()) h.Fields[i].Name = "Field" + std::to_string(i + 1);

    // v4+ data files: field numbers, sort order and the index name. Encrypted tables keep
    // crypt information in between, whose size is not derivable; the offsets at 0x66/0x68
    // say where the arrays are.
    if (extended && namesRead) {
        std::size_t numbersPos = static_cast<std::size_t>(Le16(p + 0x66)) + FixedPartSize;
        if (numbersPos + 2 * fieldCount <= buf.size() && numbersPos >= pos) {
            for (unsigned i = 0; i < fieldCount; ++i) h.FieldNumbers.push_back(LeI16(p + numbersPos + 2 * i));
            std::size_t sortPos = numbersPos + 2 * fieldCount;
            ReadCString(buf, sortPos, std::min<std::size_t>(buf.size(), sortPos + 64), h.SortOrderName);
        } else if (!h.IsEncrypted()) {
            problem("the field-number array lies outside the header");
        }
        const std::size_t indexNamePos = Le16(p + 0x68);
        if (indexNamePos != 0) {
            std::size_t at = indexNamePos + FixedPartSize;
            std::string raw;
            if (ReadCString(buf, at, std::min<std::size_t>(buf.size(), at + 256), raw))
                h.IndexName = ToUtf8(raw, h.EffectiveCodePage());
        }
    }
    h.ContentSize = static_cast<std::uint32_t>(pos);
    if (pos > h.HeaderSize && dataFamily)
        problem("the header's content (" + std::to_string(pos) + " bytes) runs past its size " +
                std::to_string(h.HeaderSize));

    if (h.IsDataFile() && h.KeyFieldCount > fieldCount) {
        layoutProblem(rtl::Format(rtl::TMsg::LayoutKeyFieldCount, {std::to_string(h.KeyFieldCount)}));
        h.KeyFieldCount = static_cast<std::uint16_t>(fieldCount);
    }
    if (h.IsDataFile() && !h.IsKeyed() && h.KeyFieldCount != 0) {
        layoutProblem(rtl::Text(rtl::TMsg::LayoutUnkeyedWithKeys));
        h.KeyFieldCount = 0;
    }
    if (h.BlocksInUse > h.BlocksAllocated)
        problem("blocks in use (" + std::to_string(h.BlocksInUse) + ") exceed blocks allocated (" +
                std::to_string(h.BlocksAllocated) + ")");
    return h;
}

} // namespace engine::paradox
