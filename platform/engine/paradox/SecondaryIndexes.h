// Secondary indexes kept in step with their table. A write that moves rows rebuilds each
// secondary index of a keyed table from the new data file: the .Xnn/.XGn holds, per row,
// the indexed fields, the primary key and the number of the data block holding the row,
// sorted by all but that number; the .Ynn/.YGn is its tree, laid out like a .px.
//
// Only what can be written exactly is kept: keys that order by their bytes (numbers, dates,
// text under the binary sort order), ascending, on a keyed table. Anything else (a
// descending index, a case-insensitive one, text under an international sort order, an
// index of an unkeyed table) is refused, or dropped and named when the caller allows it.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/TableFiles.h"
#include "platform/engine/paradox/TableHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::paradox {

struct TSecondaryIndexPlan {
    TSecondaryIndexFiles Files;
    std::string Name;            // the .Xnn/.XGn file name, for messages and reports
    bool Maintainable = false;
    std::string Reason;          // why not, when not
    TTableHeader X;              // the index data file's header
    std::vector<int> Indexed;    // table fields, in index order
};

// The table's secondary indexes and whether each can be rebuilt exactly for a table keyed by
// its first `keyFieldCount` fields (0: the table will have no primary key).
std::vector<TSecondaryIndexPlan> PlanSecondaryIndexes(const std::string& dataPath, const TTableHeader& table,
                                                      int keyFieldCount);

struct TRebuiltIndex {
    std::string DataTemp, TreeTemp;    // written and flushed
    std::string DataFinal, TreeFinal;  // where they go
};

// Writes a new .Xnn/.XGn and .Ynn/.YGn for the complete data file at `newDataPath` (a
// temporary; its header is `table`'s layout) beside the index's files. `primaryStamp` is the
// change stamp of the new primary index. Raises EDBEngineError; removes what it began.
TRebuiltIndex RebuildSecondaryIndex(const TSecondaryIndexPlan& plan, const std::string& newDataPath,
                                    std::uint8_t primaryStamp, const std::string& tempDir);

// Adds a secondary index on `fields` (table field names, in order) to the keyed table at
// `dataPath`: one field gives the .Xnn/.Ynn named after the field's number, several give the
// next free .XGn/.YGn named `indexName`. Raises when the index could not be kept exactly
// (see above) or one on those fields exists.
std::string CreateSecondaryIndex(const std::string& dataPath, const std::vector<std::string>& fields,
                                 const std::string& indexName, const std::string& tempDir);

} // namespace engine::paradox
