// Writes one demo table in a single streaming pass: the empty table is created, then its
// rows go straight into a new data file block by block (in key order, so no sorting), its
// memo values into the .mb, and the primary index is built from the finished chain; then
// its secondary indexes are added. Memory stays bounded however many rows are written.
#pragma once

#include "tools/tablora-sample/SampleCatalogue.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sample {

// Text is stored in the Central European Windows code page, as the billing application
// keeps its tables (a table may name another).
inline constexpr std::uint16_t SampleCodePage = 1250;

// Creates the table `table` at `dataPath` (which must not exist) with its first `rows`
// rows, made from `seed`. `autoIncrement` replaces the counter the header would carry
// (the largest "IDXFIELD" written).
void WriteSampleTable(const std::string& dataPath, const TSampleTable& table, std::uint64_t seed,
                      std::uint64_t rows, std::optional<std::uint32_t> autoIncrement = std::nullopt);

} // namespace sample
