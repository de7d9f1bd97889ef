#include "platform/engine/paradox/TableDefinitionReader.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/rtl/Messages.h"

#include <limits>

namespace engine::paradox {

namespace {

std::unique_ptr<TParadoxTable> OpenForReading(const std::string& dataPath, const std::string& tableName) {
    if (dataPath.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExist, {tableName}), TEngineErrorKind::NotFound);
    return TParadoxTable::Open(dataPath);
}

// The size callers see: lengths for alpha, bytes and blobs, decimals for BCD, 0 otherwise.
int VisibleSize(const TFieldInfo& f) {
    switch (f.TypeCode) {
    case ftAlpha:
    case ftBytes:
    case ftMemo:
    case ftBlob:
    case ftFmtMemo:
    case ftOle:
    case ftGraphic:
    case ftBcd: return f.SizeByte;
    default: return 0;
    }
}

} // namespace

void ReadFieldDefs(const std::string& dataPath, const std::string& tableName, TFieldDefs& defs) {
    const auto table = OpenForReading(dataPath, tableName);
    defs.Clear();
    for (const auto& f : table->Header().Fields) defs.Add(f.Name, FieldTypeFromCode(f.TypeCode), VisibleSize(f));
}

void ReadIndexDefs(const std::string& dataPath, const std::string& tableName, TIndexDefs& defs) {
    const auto table = OpenForReading(dataPath, tableName);
    TProblemList ignored;  // definitions are listed as far as they can be read
    defs.Clear();
    for (const auto& def : ReadIndexDefinitions(table->Path(), table->Header(), ignored))
        defs.Add(def.Name, def.Fields, def.Options);
}

int ReadableRecordCount(const std::string& dataPath, const std::string& tableName) {
    const auto table = OpenForReading(dataPath, tableName);
    if (table->Header().IsEncrypted())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TablePasswordProtected, {tableName}), TEngineErrorKind::Encrypted);
    const std::uint64_t n = table->CountReadableRecords();
    return n > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                                          : static_cast<int>(n);
}

} // namespace engine::paradox
