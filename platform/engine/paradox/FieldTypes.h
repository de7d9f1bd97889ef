// Paradox field type codes as stored in headers, and what each occupies in a record.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/FieldDefs.h"

#include <cstdint>

namespace engine::paradox {

enum TFieldTypeCode : std::uint8_t {
    ftAlpha = 0x01,
    ftDate = 0x02,
    ftShort = 0x03,
    ftLong = 0x04,
    ftCurrency = 0x05,
    ftNumber = 0x06,
    ftLogical = 0x09,
    ftMemo = 0x0C,
    ftBlob = 0x0D,
    ftFmtMemo = 0x0E,
    ftOle = 0x0F,
    ftGraphic = 0x10,
    ftTime = 0x14,
    ftTimestamp = 0x15,
    ftAutoInc = 0x16,
    ftBcd = 0x17,
    ftBytes = 0x18,
};

inline constexpr int BcdStorageSize = 17;
inline constexpr int BlobDescriptorSize = 10;

TFieldType FieldTypeFromCode(std::uint8_t code);  // Unknown for codes outside the table
std::uint8_t FieldCodeFromType(TFieldType type);  // 0 for Unknown
char FieldTypeChar(std::uint8_t code);            // 'A', '+', '#' ...; '?' when unknown
bool IsBlobField(std::uint8_t code);              // M B F O G (stored in the .mb)

// Bytes a field takes in a record, from its type and the header's size byte; -1 when the
// combination is impossible (a zero-length alpha, a Long of size 3, a memo without a descriptor).
int FieldStorageSize(std::uint8_t code, std::uint8_t sizeByte);

// Bytes a field of an existing table takes in its records: its storage size, or the header's
// size byte when the combination is impossible. The reader lays damaged records out so, and
// every file written for such a table (its indexes above all) must agree with it.
int FieldLayoutSize(std::uint8_t code, std::uint8_t sizeByte);

} // namespace engine::paradox
