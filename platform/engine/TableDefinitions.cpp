// The read side of TTable: field and index definitions and the record count, taken from
// the table's files. (Kept free of inline engine types, so linking a program that never
// uses TTable does not pull this in.)
#include "platform/engine/EngineObjects.h"
#include "platform/engine/paradox/TableDefinitionReader.h"

namespace engine {

namespace {
std::string ExistingDataFile(const TTable& table) { return table.Exists() ? table.DataFilePath() : std::string(); }
} // namespace

void TTable::FieldDefsUpdate() { paradox::ReadFieldDefs(ExistingDataFile(*this), TableName, FieldDefs); }

void TTable::IndexDefsUpdate() { paradox::ReadIndexDefs(ExistingDataFile(*this), TableName, IndexDefs); }

// The records its chain holds, and for an open table the pending changes too.
int TTable::RecordCount() const {
    if (Active()) return OpenRecordCount();
    return paradox::ReadableRecordCount(ExistingDataFile(*this), TableName);
}

} // namespace engine
