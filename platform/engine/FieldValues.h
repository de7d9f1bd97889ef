// Field values as engine callers read and set them through a table's current row.
#pragma once

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

} // namespace engine
