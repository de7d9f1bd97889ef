#include "platform/engine/paradox/HeaderWriter.h"

#include "platform/rtl/Clock.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ByteOrderWrite.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <ctime>

namespace engine::paradox {

namespace {

constexpr std::size_t HeaderUnit = 2048;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, unsigned v) { PutLe16(&b[at], v); }
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) { PutLe32(&b[at], v); }

std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void PutName(std::vector<std::uint8_t>& b, std::size_t at, std::size_t width, const std::string& name) {
    const std::size_t n = std::min(name.size(), width - 1);
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n), b.begin() + static_cast<std::ptrdiff_t>(at));
}

std::size_t NameWidth(std::uint8_t version) { return version >= 12 ? 261 : 79; }

} // namespace

std::uint8_t LowestVersionFor(const std::vector<TLayoutField>& fields) {
    for (const auto& f : fields) {
        switch (f.TypeCode) {
        case ftLogical:
        case ftLong:
        case ftAutoInc:
        case ftTime:
        case ftTimestamp:
        case ftBcd:
        case ftBytes: return 11;
        default: break;
        }
    }
    return 9;
}

void TakeCodePage(const TTableHeader& header, TTableLayout& layout) {
    layout.CodePage = static_cast<std::uint16_t>(header.EffectiveCodePage());
    layout.SortOrderCode = header.SortOrderCode;
    layout.SortOrderName = header.SortOrderName.empty() ? "ascii" : header.SortOrderName;
}

std::vector<std::uint8_t> BuildDataHeader(const TTableLayout& layout) {
    const std::uint8_t version = layout.Version ? layout.Version : LowestVersionFor(layout.Fields);
    const std::size_t nf = layout.Fields.size();
    std::vector<std::uint8_t> b(0x78, 0);
    int recordSize = 0;
    for (const auto& f : layout.Fields) recordSize += FieldLayoutSize(f.TypeCode, f.SizeByte);

    Put16(b, 0x00, static_cast<unsigned>(recordSize));
    const std::uint8_t derived = layout.KeyFieldCount > 0 ? fileKeyedDb : fileUnkeyedDb;
    b[0x04] = layout.FileType != 0xFF ? layout.FileType : derived;
    b[0x05] = static_cast<std::uint8_t>(layout.BlockSize / 1024);
    Put16(b, 0x12, 1);
    Put16(b, 0x21, static_cast<unsigned>(nf));
    Put16(b, 0x23, static_cast<unsigned>(layout.KeyFieldCount));
    Put32(b, 0x25, 0xFF00FF00u);
    b[0x15] = layout.FirstIndexedField;
    b[0x29] = layout.SortOrderCode;
    b[0x2D] = 2;
    const bool indexData = b[0x04] != fileKeyedDb && b[0x04] != fileUnkeyedDb;
    if (indexData) b[0x2C] = 0xFF;
    b[0x39] = version;
    b[0x3E] = 0x1F;
    b[0x3F] = 0x0F;
    Put32(b, 0x49, layout.AutoIncrement);
    b[0x55] = layout.IndexOrder;
    b[0x56] = 0x20;
    Put16(b, 0x58, 0x0100u | version);
    Put16(b, 0x5A, 0x0100u | version);
    Put32(b, 0x60, static_cast<std::uint32_t>(rtl::Now()));
    Put16(b, 0x64, static_cast<unsigned>(nf + 1));
    Put16(b, 0x6A, layout.CodePage);
    b[0x6C] = 1;
    b[0x6D] = 1;

    for (const auto& f : layout.Fields) {
        b.push_back(f.TypeCode);
        b.push_back(f.SizeByte);
    }
    b.resize(b.size() + 4 + 4 * nf, 0);  // run-time pointers: table name, field names
    const std::size_t namePos = b.size();
    b.resize(b.size() + NameWidth(version), 0);
    PutName(b, namePos, NameWidth(version), FromUtf8(layout.TableName, layout.CodePage));
    for (const auto& f : layout.Fields) {
        const std::string raw = FromUtf8(f.Name, layout.CodePage);
        b.insert(b.end(), raw.begin(), raw.end());
        b.push_back(0);
    }
    Put16(b, 0x66, static_cast<unsigned>(b.size() - 0x58));
    for (std::size_t i = 0; i < nf; ++i) {
        const auto number = static_cast<std::uint16_t>(i < layout.FieldNumbers.size() ? layout.FieldNumbers[i] : i + 1);
        b.push_back(static_cast<std::uint8_t>(number & 0xFF));
        b.push_back(static_cast<std::uint8_t>(number >> 8));
    }
    // Every writer seen records where the sort order's name starts.
    Put16(b, 0x6E, static_cast<unsigned>(b.size() - 0x58));
    b.insert(b.end(), layout.SortOrderName.begin(), layout.SortOrderName.end());
    b.push_back(0);
    if (!layout.IndexName.empty()) {
        Put16(b, 0x68, static_cast<unsigned>(b.size() - 0x58));
        const std::string raw = FromUtf8(layout.IndexName, layout.CodePage);
        b.insert(b.end(), raw.begin(), raw.end());
        b.push_back(0);
    }
    Put16(b, 0x51, static_cast<unsigned>(b.size()));
    const std::size_t size = (b.size() + HeaderUnit - 1) / HeaderUnit * HeaderUnit;
    b.resize(size, 0);
    Put16(b, 0x02, static_cast<unsigned>(size));
    return b;
}

void PatchDataHeader(std::vector<std::uint8_t>& b, const THeaderCounts& c) {
    b[0x04] = c.FileType;
    Put32(b, 0x06, c.RecordCount);
    Put16(b, 0x0A, c.Blocks);
    Put16(b, 0x0C, c.Blocks);
    Put16(b, 0x0E, c.Blocks ? 1 : 0);
    Put16(b, 0x10, c.Blocks);
    Put16(b, 0x12, static_cast<unsigned>(Get16(b, 0x12) + 1));
    b[0x14] = 0;
    Put16(b, 0x23, c.KeyFieldCount);
    b[0x2A] = 0;
    // The index stamp follows this counter; 0 and 1 are avoided, as an index beside a
    // table whose counter is below 2 is treated as out of date.
    b[0x2D] = static_cast<std::uint8_t>(b[0x2D] < 2 || b[0x2D] == 0xFF ? 2 : b[0x2D] + 1);
    Put16(b, 0x3A, c.Blocks);
    if (b[0x39] >= 5) Put32(b, 0x49, c.AutoIncrement);  // older files keep a change counter here
    Put16(b, 0x4D, 0);
    b[0x4F] = 0;
}

std::uint8_t IndexStampOf(const std::vector<std::uint8_t>& dataHeader) { return dataHeader[0x2D]; }

std::vector<std::uint8_t> BuildIndexHeader(const TIndexHeaderInfo& info) {
    std::vector<std::uint8_t> b(HeaderUnit, 0);
    int keySize = 0;
    for (const auto& f : info.KeyFields) keySize += FieldLayoutSize(f.TypeCode, f.SizeByte);
    Put16(b, 0x00, static_cast<unsigned>(keySize + 6));
    Put16(b, 0x02, HeaderUnit);
    b[0x04] = info.FileType;
    b[0x05] = static_cast<std::uint8_t>(info.BlockSize / 1024);
    Put32(b, 0x06, info.Entries);
    Put16(b, 0x0A, info.Blocks);
    Put16(b, 0x0C, info.Blocks);
    Put16(b, 0x0E, info.Blocks ? 1 : 0);
    Put16(b, 0x10, info.Blocks);
    Put16(b, 0x12, 1);
    Put16(b, 0x1E, info.Root);
    b[0x20] = info.Levels;
    Put16(b, 0x21, static_cast<unsigned>(info.KeyFields.size()));
    b[0x29] = info.SortOrderCode;
    b[0x2C] = info.Stamp;
    b[0x39] = info.Version;
    Put16(b, 0x3A, info.Blocks);
    Put32(b, 0x49, 1);
    std::size_t pos = 0x58;
    for (const auto& f : info.KeyFields) {
        b[pos++] = f.TypeCode;
        b[pos++] = f.SizeByte;
    }
    pos += 4;
    PutName(b, pos, NameWidth(info.Version), info.TableName);
    pos += NameWidth(info.Version);
    Put16(b, 0x51, static_cast<unsigned>(pos));
    return b;
}

std::vector<std::uint8_t> ReadHeaderBytes(const TRandomAccessFile& file, const TTableHeader& header) {
    // A size field smaller than the header's content (a flipped bit) would cut the field
    // list off in every file written from these bytes: the rows would read as other fields.
    if (header.ContentSize > header.HeaderSize)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineHeaderSizeShort,
                                         {rtl::ExtractFileName(file.Path()), std::to_string(header.HeaderSize),
                                          std::to_string(header.ContentSize)}),
                             TEngineErrorKind::Corrupt);
    std::vector<std::uint8_t> b(header.HeaderSize, 0);
    file.ReadAt(0, b.data(), b.size());
    return b;
}

} // namespace engine::paradox
