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

// For a closed table: the records its chain holds.
int TTable::RecordCount() const { return paradox::ReadableRecordCount(ExistingDataFile(*this), TableName); }

} // namespace engine
