// Creating tables and adding their primary index.
#include "platform/engine/TableImpl.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"


namespace engine {

namespace {

std::uint8_t SizeByteFor(const TFieldDef& def, std::uint8_t code) {
    switch (code) {
    case paradox::ftShort: return 2;
    case paradox::ftLong:
    case paradox::ftAutoInc:
    case paradox::ftDate:
    case paradox::ftTime: return 4;
    case paradox::ftNumber:
    case paradox::ftCurrency:
    case paradox::ftTimestamp: return 8;
    case paradox::ftLogical: return 1;
    default: return static_cast<std::uint8_t>(def.Size < 0 || def.Size > 255 ? 0 : def.Size);
    }
}

std::size_t Utf8Length(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// New tables use the Windows Western code page unless their field names need another.
std::uint16_t CodePageFor(const TFieldDefs& defs) {
    for (const int cp : {1252, 1250, 852, 866, 437}) {
        bool fits = true;
        for (const TFieldDef& def : defs)
            fits = fits && paradox::ToUtf8(paradox::FromUtf8(def.Name, cp), cp) == def.Name;
        if (fits) return static_cast<std::uint16_t>(cp);
    }
    return 1252;
}

std::vector<std::string> SplitFieldList(const std::string& fields) {
    std::vector<std::string> out;
    std::string cur;
    for (const char c : fields + ";") {
        if (c == ';') {
            const auto b = cur.find_first_not_of(' ');
            const auto e = cur.find_last_not_of(' ');
            if (b != std::string::npos) out.push_back(cur.substr(b, e - b + 1));
            cur.clear();
        } else {
            cur += c;
        }
    }
    return out;
}

} // namespace

std::string TablePrivateDirectory(const TTable& table) {
    if (const TSession* s = TSession::Find(table.SessionName); s && !s->PrivateDir.empty() &&
                                                              rtl::DirectoryExists(s->PrivateDir))
        return s->PrivateDir;
    return rtl::TemporaryDirectory();
}

void TTable::CreateTable() {
    if (Active())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableOpenCannotCreate, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    if (FieldDefs.Count() == 0 || FieldDefs.Count() > 255)
        throw EDBEngineError(rtl::Text(rtl::TMsg::EngineFieldCountRange), TEngineErrorKind::InvalidRequest);
    paradox::TTableLayout layout;
    for (const TFieldDef& def : FieldDefs) {
        const std::uint8_t code = paradox::FieldCodeFromType(def.DataType);
        const std::uint8_t size = SizeByteFor(def, code);
        if (code == 0 || paradox::FieldStorageSize(code, size) < 0)
            throw EDBEngineError(rtl::Format(rtl::TMsg::EngineFieldImpossible,
                                             {def.Name, FieldTypeName(def.DataType), std::to_string(def.Size)}),
                                 TEngineErrorKind::InvalidRequest);
        if (def.Name.empty() || Utf8Length(def.Name) > 25)
            throw EDBEngineError(rtl::Format(rtl::TMsg::EngineFieldNameLength, {def.Name}),
                                 TEngineErrorKind::InvalidRequest);
        layout.Fields.push_back(paradox::TLayoutField{def.Name, code, size});
    }
    // 2 KiB blocks unless a record needs a larger one.
    int recordSize = 0;
    for (const auto& f : layout.Fields) recordSize += paradox::FieldStorageSize(f.TypeCode, f.SizeByte);
    while (layout.BlockSize - 6 < static_cast<std::uint32_t>(recordSize) && layout.BlockSize < 32768) layout.BlockSize *= 2;
    if (layout.BlockSize - 6 < static_cast<std::uint32_t>(recordSize))
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineRecordTooLarge, {std::to_string(recordSize)}),
                             TEngineErrorKind::InvalidRequest);
    layout.CodePage = CodePageFor(FieldDefs);
    // Binary order: the one order of text keys the engine keeps exactly. A table copied into
    // this one while it is empty takes the source's sort order instead.
    layout.SortOrderCode = 0;
    layout.SortOrderName = "ascii";
    const std::string path = DataFilePath();
    layout.TableName = rtl::ExtractFileName(path);
    paradox::CreateTableFiles(path, layout);
}

void TTable::AddIndex(const std::string& name, const std::string& fields, unsigned options) {
    if (Active())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineIndexNeedsClosedTable, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    if ((options & ixPrimary) == 0 || !name.empty())
        throw EDBEngineError(rtl::Text(rtl::TMsg::EngineOnlyPrimaryIndex), TEngineErrorKind::InvalidRequest);
    if (!Exists()) throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExist, {TableName}), TEngineErrorKind::NotFound);
    const std::string path = DataFilePath();
    RefuseIfPendingElsewhere(path, this);
    const auto header = paradox::TParadoxTable::Open(path)->Header();
    if (header.IsKeyed())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineHasPrimaryIndex, {TableName}),
                             TEngineErrorKind::InvalidRequest);
    const auto names = SplitFieldList(fields);
    if (names.empty() || names.size() > 16 || names.size() > header.Fields.size())
        throw EDBEngineError(rtl::Text(rtl::TMsg::EnginePrimaryIndexFieldCount), TEngineErrorKind::InvalidRequest);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!rtl::SameTextAscii(names[i], header.Fields[i].Name))
            throw EDBEngineError(rtl::Format(rtl::TMsg::EnginePrimaryIndexFirstFields, {fields}),
                                 TEngineErrorKind::InvalidRequest);
        if (paradox::IsBlobField(header.Fields[i].TypeCode))
            throw EDBEngineError(rtl::Format(rtl::TMsg::EngineBlobInKey, {names[i]}),
                                 TEngineErrorKind::InvalidRequest);
    }
    paradox::TRewriteOptions rewrite;
    rewrite.DropUnmaintainableIndexes = DropUnmaintainableIndexes;
    rewrite.DroppedIndexes = &DroppedIndexes;
    rewrite.TempDir = TablePrivateDirectory(*this);
    paradox::AddPrimaryKey(path, static_cast<int>(names.size()), rewrite.TempDir, paradox::DefaultSortMemory, rewrite);
}

} // namespace engine
