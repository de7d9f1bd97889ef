// What the descriptor calls report about a table, read once from its files: the header,
// its secondary indexes and side files. Shared by the counts, the properties and the
// descriptor, so the three always agree.
#pragma once

#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/tutil/BorrowedStructure.h"

#include <string>
#include <vector>

namespace tutil {

struct TTableFacts {
    std::string DataPath;  // as found on disk
    engine::paradox::TTableHeader Header;
    std::vector<engine::paradox::TSecondaryIndexPlan> Secondaries;
    std::string ValPath;   // the .VAL beside the table, "" when none

    int FieldCount() const { return static_cast<int>(Header.Fields.size()); }
    int IndexCount() const { return (Header.IsKeyed() ? 1 : 0) + static_cast<int>(Secondaries.size()); }
    int SecurityCount() const { return Header.IsEncrypted() ? 1 : 0; }
    int ValidityCount() const { return ValPath.empty() ? 0 : 1; }
    static constexpr int ReferentialCount() { return 0; }
    static constexpr int OptionalParameterCount() { return 6; }
    static constexpr int OptionalDataLength() { return OptionalParameterCount(); }
};

// Reads the facts of the table at `tableName` (its data file, ".db" optional, letter case
// of the file name ignored), its header `structure`'s when given. Raises TUtilFailure
// (NOSUCHTABLE, NOTATABLE, READ).
TTableFacts ReadTableFacts(const std::string& tableName, const TBorrowedStructure* structure = nullptr);

// The data file `tableName` names, as the rebuild finds it (an absolute path); "" when none.
std::string FindTableDataFile(const std::string& tableName);

} // namespace tutil
