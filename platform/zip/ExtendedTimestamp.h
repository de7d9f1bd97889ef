// The "extended timestamp" extra field (id 0x5455): the modification time in whole seconds
// since 1970. The zip header itself holds only a local DOS time with 2-second steps, so
// without this field a round trip would move table files' times.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

namespace azip {

inline constexpr std::uint16_t ExtendedTimestampId = 0x5455;

// The field's data carrying only the modification time (valid in local and central headers).
std::vector<std::uint8_t> EncodeExtendedTimestamp(std::time_t modified);

// The modification time from a field's data, when the field says it holds one.
std::optional<std::time_t> DecodeExtendedTimestamp(const std::uint8_t* data, std::size_t length);

} // namespace azip
