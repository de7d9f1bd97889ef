// Whether a damaged table's own header still agrees with a structure taken from a copy. A copy
// of another table, or of this table before it was restructured, can have blocks the damaged
// file's fit by chance (half the record size, the same size and types); reading the rows under
// it loses values, invents rows, moves rows to KEYVIOL or renames the fields. So every fact the
// damaged header still holds must be the copy's: only a fact that is itself damaged (a value no
// sound header has) may differ, since that damage is why the table's own header was refused.
#pragma once

#include "platform/tutil/BorrowedStructure.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tutil {

// Why the structure `s` is not the one the header bytes `own` (the damaged data file's first
// bytes, as many as the copy's header has) describe, naming the fact ("" when every readable
// fact agrees).
std::string HeaderDisagreement(const TBorrowedStructure& s, const std::vector<std::uint8_t>& own);

} // namespace tutil
