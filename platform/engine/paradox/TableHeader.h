// The header of a Paradox data or index file (.db .px .Xnn .Ynn .XGn .YGn), all versions
// 3.0 to 7.x: geometry, block chain ends, fields, code page and sort order.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

enum TFileTypeCode : std::uint8_t {
    fileKeyedDb = 0,
    filePrimaryIndex = 1,
    fileUnkeyedDb = 2,
    fileSecondaryData = 3,      // .Xnn of an unkeyed table
    fileSecondaryTree = 4,      // .Ynn
    fileSecondaryDataInc = 5,   // .Xnn of a keyed table
    fileSecondaryDataG = 6,     // .XGn of an unkeyed table
    fileSecondaryTreeG = 7,     // .YGn
    fileSecondaryDataGInc = 8,  // .XGn of a keyed table
};

struct TFieldInfo {
    std::string Name;         // as stored, in the table's code page converted to UTF-8
    std::uint8_t TypeCode = 0;
    std::uint8_t SizeByte = 0;  // as in the header (BCD: decimals)
    int Size = 0;               // bytes in the record
    int Offset = 0;             // from the start of the record

    // False when the header gives the field a size its type cannot have: its bytes are then
    // kept and shown as they are, never read as its type (nor, for a blob, looked up).
    bool SizeFitsType() const;
};

struct TTableHeader {
    std::uint16_t RecordSize = 0;      // stride of records in blocks
    std::uint16_t StoredRecordSize = 0;  // as the header says (RecordSize may be raised to fit the fields)
    std::uint16_t HeaderSize = 0;      // offset of block 1
    std::uint8_t FileType = 0;
    std::uint32_t BlockSize = 0;       // bytes
    std::uint32_t RecordCount = 0;     // as the header says
    std::uint16_t BlocksInUse = 0;     // chain length
    std::uint16_t BlocksAllocated = 0;
    std::uint16_t FirstBlock = 0;
    std::uint16_t LastBlock = 0;
    std::uint16_t FirstFreeBlock = 0;
    std::uint8_t Version = 0;          // 3 = 3.0, 4 = 3.5, 5..9 = 4.x, 10..11 = 5.x, 12 = 7.x
    std::uint16_t KeyFieldCount = 0;
    std::uint32_t EncryptionKey = 0;   // 0: not encrypted
    std::uint32_t AutoIncrement = 0;   // last value handed out (v4+ tables)
    std::uint8_t SortOrderCode = 0;
    std::string SortOrderName;         // v4+ data files, e.g. "ascii", "ANSIINTL"
    std::uint16_t CodePage = 0;        // 0 when the file records none
    std::uint16_t IndexRoot = 0;       // .px/.Ynn
    std::uint8_t IndexLevels = 0;      // .px/.Ynn
    std::uint8_t FirstIndexedField = 0;  // .Xnn/.XGn
    std::uint8_t IndexOrder = 0;       // .Xnn/.XGn: 0x11 descending
    std::string TableName;             // name stored at creation, not the file name
    std::string IndexName;             // .XGn
    std::vector<TFieldInfo> Fields;
    std::vector<std::int16_t> FieldNumbers;  // v4+ data files; bit 15 = descending
    std::uint64_t FileSize = 0;
    std::uint32_t ContentSize = 0;     // bytes the header's fields and names take, as read
    // Why the header's fields disagree with its record layout (record size, key field count,
    // a field's type or size, names cut off); empty when they agree. Such a table is read as
    // far as it goes, but never rewritten: the new header would carry the disagreement on.
    std::string LayoutProblem;

    bool IsEncrypted() const { return EncryptionKey != 0; }
    bool IsKeyed() const { return FileType == fileKeyedDb; }
    bool IsIndexTree() const;   // .px .Ynn .YGn (key fields + block number, count, 0)
    bool IsDataFile() const { return FileType == fileKeyedDb || FileType == fileUnkeyedDb; }
    int EffectiveCodePage() const { return CodePage == 0 ? 437 : CodePage; }
    int FieldsSize() const;     // sum of field sizes
    int Capacity() const;       // records that fit in one block
    // Blocks physically present, a short final block counted.
    std::uint32_t PhysicalBlocks() const;
    std::uint64_t BlockOffset(std::uint32_t block) const {
        return HeaderSize + static_cast<std::uint64_t>(block - 1) * BlockSize;
    }
    std::string VersionText() const;  // "3.0", "3.5", "4.x", "5.x", "7.x"
};

// Reads and checks the header of `file`. Inconsistencies a reader can live with are appended
// to `problems`; a header from which no record layout can be derived raises EDBEngineError
// (NotATable or Corrupt) with a readable message.
TTableHeader ReadTableHeader(const TRandomAccessFile& file, TProblemList& problems);

// Raises (Corrupt) when the header of the table at `dataPath` disagrees with its record
// layout: rewriting it would carry the damage on under a new header.
void RefuseDamagedLayout(const std::string& dataPath, const TTableHeader& header);

} // namespace engine::paradox
