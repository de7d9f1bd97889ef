// Sort orders (the table's language driver) and what the engine can do under them. Numbers,
// dates and the other encoded types order by their bytes under every sort order; text does
// only under the binary "ascii" order. International orders collate text in ways this engine
// does not model, so it never places an alpha key under them: it keeps the order the rows
// are stored in, and refuses a change that would have to choose a place.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/TableHeader.h"

#include <string>
#include <vector>

namespace engine::paradox {

// True when the table's text compares by its bytes (the "ascii" sort order).
bool OrdersTextByBytes(const TTableHeader& table);

// True when keys made of `fields` (indexes into table.Fields) order exactly by their bytes.
bool KeyOrdersByBytes(const TTableHeader& table, const std::vector<int>& fields);

// True when the table's primary key orders exactly by its bytes.
bool PrimaryKeyOrdersByBytes(const TTableHeader& table);

// "ANSII850 (0x11)": how messages name the table's sort order.
std::string SortOrderLabel(const TTableHeader& table);

} // namespace engine::paradox
