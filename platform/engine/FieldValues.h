// Field values as engine callers read and set them through a table's current row, and the
// conversions between them and the bytes of a record.
#pragma once

#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <string>
#include <variant>

namespace engine {

// Null; a logical; an integer (short, long, autoincrement, date as day number with
// 0001-01-01 = 1, time as milliseconds of the day); a double (number, currency, timestamp
// as milliseconds since day 0); or text (alpha and memo in UTF-8, BCD as decimal text,
// bytes and other blobs as raw bytes).
using TValue = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

inline bool IsNull(const TValue& v) { return std::holds_alternative<std::monostate>(v); }

// The caller's view of a decoded field of type `typeCode`.
TValue ToValue(const paradox::TFieldValue& value, std::uint8_t typeCode);

// Stores `value` into the bytes of field `field` of `record`. Blob fields are not written
// here: their bytes (memo text already in the table's code page) go to `blob`, stored by the
// caller. Raises EDBEngineError (InvalidRequest) for a value the field cannot hold.
void EncodeValue(const paradox::TFieldInfo& field, const TValue& value, int codePage, std::uint8_t* record,
                 std::string& blob);

} // namespace engine
