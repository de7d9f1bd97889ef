// Whether the bytes of a recovered record can be a row of its table: every field must hold a
// value its type can have. Garbage (a block overwritten, a stale block of another layout)
// shows as dates past the year 9999, logical bytes other than blank/false/true, numbers that
// are not numbers, or text that goes on after its terminating zero. Types whose every bit
// pattern is a value (integers, BCD, bytes) pass as they are; blob fields are checked when
// their values are read.
#pragma once

#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tutil {

struct TFieldFault {
    int Field = -1;
    std::string Reason;  // Slovak, for the problem table
};

// The first field of `record` (RecordSize bytes of a table with header `h`) that holds no
// value of its type, or nullopt when every field does.
std::optional<TFieldFault> FindFieldFault(const engine::paradox::TTableHeader& h, const std::uint8_t* record);

} // namespace tutil
