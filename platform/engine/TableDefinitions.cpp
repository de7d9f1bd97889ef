// The read side of TTable: field and index definitions and the record count, taken from
// the table's files. (Kept free of inline engine types, so linking a program that never
// uses TTable does not pull this in.)
#include "platform/engine/EngineObjects.h"
<<<<<<< HEAD
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/ParadoxTable.h"

#include <limits>
=======
#include "platform/engine/paradox/TableDefinitionReader.h"
>>>>>>> main

namespace engine {

namespace {
<<<<<<< HEAD
=======
std::string ExistingDataFile(const TTable& table) { return table.Exists() ? table.DataFilePath() : std::string(); }
} // namespace

void TTable::FieldDefsUpdate() { paradox::ReadFieldDefs(ExistingDataFile(*this), TableName, FieldDefs); }
>>>>>>> main

void TTable::IndexDefsUpdate() { paradox::ReadIndexDefs(ExistingDataFile(*this), TableName, IndexDefs); }

<<<<<<< HEAD
// The size callers see: lengths for alpha, bytes and blobs, decimals for BCD, 0 otherwise.
int VisibleSize(const paradox::TFieldInfo& f) {
    switch (f.TypeCode) {
    case paradox::ftAlpha:
    case paradox::ftBytes:
    case paradox::ftMemo:
    case paradox::ftBlob:
    case paradox::ftFmtMemo:
    case paradox::ftOle:
    case paradox::ftGraphic:
    case paradox::ftBcd: return f.SizeByte;
    default: return 0;
    }
}

} // namespace

void TTable::FieldDefsUpdate() {
    const auto table = OpenForReading(*this);
    FieldDefs.Clear();
    for (const auto& f : table->Header().Fields)
        FieldDefs.Add(f.Name, paradox::FieldTypeFromCode(f.TypeCode), VisibleSize(f));
}

void TTable::IndexDefsUpdate() {
    const auto table = OpenForReading(*this);
    paradox::TProblemList ignored;  // definitions are listed as far as they can be read
    IndexDefs.Clear();
    for (const auto& def : paradox::ReadIndexDefinitions(table->Path(), table->Header(), ignored))
        IndexDefs.Add(def.Name, def.Fields, def.Options);
}

int TTable::RecordCount() const {
    const auto table = OpenForReading(*this);
    if (table->Header().IsEncrypted())
        throw EDBEngineError("Table \"" + TableName + "\" is password-protected", EngineErrorKind::Encrypted);
    const std::uint64_t n = table->CountReadableRecords();
    return n > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                          : static_cast<int>(n);
}
=======
// For a closed table: the records its chain holds.
int TTable::RecordCount() const { return paradox::ReadableRecordCount(ExistingDataFile(*this), TableName); }
>>>>>>> main

} // namespace engine
