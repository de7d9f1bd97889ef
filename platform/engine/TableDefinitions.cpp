// The read side of TTable: field and index definitions and the record count, taken from
// the table's files.
#include "platform/engine/EngineObjects.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/ParadoxTable.h"

#include <limits>

namespace engine {

namespace {

std::unique_ptr<paradox::TParadoxTable> OpenForReading(const TTable& table) {
    const std::string path = table.DataFilePath();
    if (path.empty() || !table.Exists())
        throw EDBEngineError("Table \"" + table.TableName + "\" does not exist", EngineErrorKind::NotFound);
    return paradox::TParadoxTable::Open(path);
}

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

} // namespace engine
