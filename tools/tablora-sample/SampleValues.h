// Plausible values for the demo tables: Slovak names, towns and phrases with their
// diacritics, phone numbers, tariffs, prices and dates of a year of calls.
#pragma once

#include "platform/engine/FieldValues.h"
#include "tools/tablora-sample/SampleCatalogue.h"
#include "tools/tablora-sample/SampleRandom.h"

#include <cstdint>

namespace sample {

// The value of `column` in row `row` (0-based) of a table of `rows` rows. Key columns
// (`isKey`) ascend with the row so a keyed table is written in key order; dates and times
// of calls ascend too, as calls are recorded.
engine::TValue SampleValue(const TSampleColumn& column, bool isKey, std::uint64_t row, std::uint64_t rows,
                           TSampleRandom& random);

// The towns keyed by name (TownKey values), one per row, in an international order.
std::uint64_t TownCount();

} // namespace sample
