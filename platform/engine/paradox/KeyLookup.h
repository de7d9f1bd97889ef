// Finding a stored record by its primary key without reading the whole table: down the
// primary index to the one data block that can hold the key, a few block reads whatever the
// table's size. Each step is checked against the data it leads to (the leaf entry's first key
// and count against the block, the next block's first key beyond the key sought); an index
// that is missing or disagrees sends the search through the whole chain instead.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/ParadoxTable.h"

#include <string>
#include <vector>

namespace engine::paradox {

// The places of the stored records of keyed `table` whose primary key bytes equal `key`.
std::vector<TStoredPlace> FindStoredKey(const TParadoxTable& table, const std::string& key);

// The same through the primary index alone; false when the index cannot be trusted for it.
bool FindStoredKeyThroughIndex(const TParadoxTable& table, const std::string& key, std::vector<TStoredPlace>& places);

} // namespace engine::paradox
