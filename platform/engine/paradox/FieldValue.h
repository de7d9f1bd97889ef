// Decoded field values and the raw encodings behind them: big-endian integers and doubles
// with a flipped sign, all-zero blanks, day-number dates, BCD.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstdint>
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

// Integer fields of 2 or 4 bytes; nullopt for a blank (all zero) value.
std::optional<std::int64_t> DecodeFlippedInt(const std::uint8_t* p, int size);
// Number, currency and timestamp; nullopt for a blank value.
std::optional<double> DecodeFlippedDouble(const std::uint8_t* p);
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
