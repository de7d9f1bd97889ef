// Whether the bytes of a recovered record can be a row of its table: every field must hold a
// value its type can have. Garbage (a block overwritten, a stale block of another layout)
// shows as dates outside the years 9999 BC to 9999, times outside the day, logical bytes other
// than blank/false/true, numbers that are not numbers, or text that goes on after its
// terminating zero. Values are judged as the table's reader decodes them, so nothing the
// reader shows as a value of a healthy table is turned away. Types whose every bit pattern is
// a value (integers, BCD, bytes) pass as they are; blob fields are checked when their values
// are read.
#pragma once

#include "platform/engine/ParadoxTables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tutil {

struct TFieldFault {
    int Field = -1;
    std::string Reason;  // Slovak, for the problem table
};

// Checks the records of one table; set up once, as it runs for every record. `h` must outlive
// the checker.
class TRecordChecker {
public:
    explicit TRecordChecker(const engine::paradox::TTableHeader& h);

    // The first field of `record` (RecordSize bytes) that holds no value of its type, or
    // nullopt when every field does.
    std::optional<TFieldFault> Check(const std::uint8_t* record) const;

private:
    struct TField {
        int Index;
        std::uint8_t Type;
        int Offset;
        int Size;
    };
    static const char* Fault(const TField& f, const std::uint8_t* record);

    std::vector<TField> fields_;  // only the fields whose type can hold impossible bytes
};

} // namespace tutil
