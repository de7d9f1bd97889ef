// Decoded field values and the raw encodings behind them: big-endian integers and doubles
// with a flipped sign, all-zero blanks, day-number dates, BCD.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace engine::paradox {

struct TFieldValue {
    bool IsNull = true;
    bool BlobBad = false;       // a blob whose bytes could not be read (value left null)
    bool Raw = false;           // the stored bytes as they are, in Bytes: the header gives
                                // the field a size its type cannot have
    std::int64_t Integer = 0;   // Short, Long, AutoInc; Date: day number (0001-01-01 = 1);
                                // Time: milliseconds of the day; Logical: 0 / 1
    double Number = 0;          // Number, Currency; Timestamp: milliseconds since day 0
    std::string Bytes;          // Alpha, Memo: UTF-8 text; BCD: exact decimal text;
                                // Bytes and other blobs: the raw bytes
};

// Integer fields of 2 or 4 bytes; nullopt for a blank (all zero) value. Inline: the check
// of every row of a rebuild calls it for every date and counter.
inline std::optional<std::int64_t> DecodeFlippedInt(const std::uint8_t* p, int size) {
    std::uint64_t raw = 0;
    for (int i = 0; i < size; ++i) raw = (raw << 8) | p[i];
    if (raw == 0) return std::nullopt;
    const std::uint64_t sign = std::uint64_t{1} << (size * 8 - 1);
    raw ^= sign;  // back to two's complement
    if (raw & sign) return static_cast<std::int64_t>(raw) - static_cast<std::int64_t>(sign << 1);
    return static_cast<std::int64_t>(raw);
}

// Number, currency and timestamp; nullopt for a blank value.
inline std::optional<double> DecodeFlippedDouble(const std::uint8_t* p) {
    std::uint64_t raw = 0;
    for (int i = 0; i < 8; ++i) raw = (raw << 8) | p[i];
    if (raw == 0) return std::nullopt;
    // Positive values have the top bit set; negative ones are stored with every bit inverted.
    raw = (raw & (std::uint64_t{1} << 63)) ? raw ^ (std::uint64_t{1} << 63) : ~raw;
    double d;
    std::memcpy(&d, &raw, sizeof d);
    return d;
}
// 17-byte BCD with `decimals` places, as exact decimal text; nullopt for blank. Digit
// nibbles above 9 read as 0.
std::optional<std::string> DecodeBcd(const std::uint8_t* p, int decimals);

struct TCivilDate {
    std::int64_t Year;  // astronomical: year 0 exists
    int Month;
    int Day;
};
TCivilDate CivilFromDayNumber(std::int64_t dayNumber);

// The calendar a date or timestamp field holds: 1 January 9999 BC (astronomical year -9998)
// to 31 December 9999, the range the format's writers allow. Day numbers outside it are not
// dates any writer stores: bytes of something else.
inline constexpr std::int64_t FirstDayNumber = -3652059;  // -9998-01-01
inline constexpr std::int64_t LastDayNumber = 3652059;    // 9999-12-31
inline constexpr std::int64_t DayMilliseconds = 86400000;

std::int64_t DayNumberFromCivil(std::int64_t year, int month, int day);

std::string FormatDate(std::int64_t dayNumber);        // YYYY-MM-DD
std::string FormatTime(std::int64_t milliseconds);     // HH:MM:SS[.mmm]
std::string FormatTimestamp(double milliseconds);      // YYYY-MM-DD HH:MM:SS[.mmm]
std::string FormatDouble(double value);                // shortest text that reads back the same
std::string HexBytes(const std::string& bytes);        // lowercase hex

} // namespace engine::paradox
