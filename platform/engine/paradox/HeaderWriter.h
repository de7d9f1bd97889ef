// Header bytes of the files the engine writes: a fresh data-file header from a table
// layout, the patch of an existing header after its blocks were rewritten, and the header of
// a primary index.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

struct TLayoutField {
    std::string Name;  // UTF-8
    std::uint8_t TypeCode = 0;
    std::uint8_t SizeByte = 0;
};

// What a new table is made of.
struct TTableLayout {
    std::vector<TLayoutField> Fields;
    int KeyFieldCount = 0;           // the first N fields form the primary key
    std::uint32_t BlockSize = 2048;
    std::uint16_t CodePage = 1252;
    // Binary order, the one order of text keys the engine keeps exactly.
    std::uint8_t SortOrderCode = 0x00;
    std::string SortOrderName = "ascii";
    std::uint8_t Version = 0;        // 0: the lowest that holds the field types
    std::uint32_t AutoIncrement = 0; // last value handed out
    std::string TableName;           // stored in the header (the file name)
    // Secondary index data files (.Xnn/.XGn) are data-format files with a few more settings.
    std::uint8_t FileType = 0xFF;    // 0xFF: keyed or unkeyed table by KeyFieldCount
    std::vector<std::int16_t> FieldNumbers;  // empty: 1..n
    std::string IndexName;           // .XGn
    std::uint8_t FirstIndexedField = 0;
    std::uint8_t IndexOrder = 0;     // byte 0x55
};

// The lowest file version that holds `fields`: 4.x (9) for alpha, numbers, dates and blobs,
// 5.x (11) when a logical, long, autoincrement, time, timestamp, BCD or bytes field is
// present. 3.x headers cannot record a code page, so new tables start at 4.x.
std::uint8_t LowestVersionFor(const std::vector<TLayoutField>& fields);

// A layout with the sort order and code page of `header` (a table being copied).
void TakeCodePage(const TTableHeader& header, TTableLayout& layout);

// Header of a new, empty data file; its size is a multiple of 2048 bytes.
std::vector<std::uint8_t> BuildDataHeader(const TTableLayout& layout);

// The counts a rewritten data file's header must carry.
struct THeaderCounts {
    std::uint32_t RecordCount = 0;
    std::uint16_t Blocks = 0;        // in the chain = allocated (rewritten files have no free list)
    std::uint32_t AutoIncrement = 0;
    std::uint8_t FileType = fileUnkeyedDb;
    std::uint16_t KeyFieldCount = 0;
};

// Patches an existing data header (all its bytes as read) for a rewritten file: counts,
// chain ends, free list, autoincrement (v4+), file type and key fields; bumps its change
// counters and clears its "modified" flags. Every other byte stays as it was.
void PatchDataHeader(std::vector<std::uint8_t>& header, const THeaderCounts& counts);

// The change stamp a primary index must carry for the data header `header`.
std::uint8_t IndexStampOf(const std::vector<std::uint8_t>& dataHeader);

struct TIndexHeaderInfo {
    std::vector<TLayoutField> KeyFields;
    std::uint32_t BlockSize = 2048;
    std::uint8_t Version = 12;
    std::uint8_t SortOrderCode = 0;
    std::uint8_t Stamp = 0;
    std::uint32_t Entries = 0;
    std::uint16_t Blocks = 0;
    std::uint16_t Root = 0;
    std::uint8_t Levels = 1;
    std::string TableName;
    std::uint8_t FileType = filePrimaryIndex;  // or the tree of a secondary index (.Ynn/.YGn)
};
std::vector<std::uint8_t> BuildIndexHeader(const TIndexHeaderInfo& info);

// The whole header region of a data file (HeaderSize bytes). Raises EDBEngineError (Corrupt)
// when the header's content runs past that size: no file may be written from it.
std::vector<std::uint8_t> ReadHeaderBytes(const TRandomAccessFile& file, const TTableHeader& header);

} // namespace engine::paradox
