// Order of primary keys as stored: encoded numbers and dates compare byte-wise; alpha text
// does only under the "ascii" sort order. International sort orders collate text in ways
// not modelled here, so their alpha parts give no verdict (only exact duplicates do).
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/TableHeader.h"

#include <string_view>

namespace engine::paradox {

enum class TKeyOrder { Less, Equal, Greater, Unknown };

// Compares the primary-key prefixes of two records of `table`.
TKeyOrder CompareKeys(std::string_view a, std::string_view b, const TTableHeader& table);

} // namespace engine::paradox
