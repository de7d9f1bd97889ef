#include "platform/engine/FieldDefs.h"

#include "platform/rtl/StringList.h"

namespace engine {

int TFieldDefs::IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < defs_.size(); ++i)
        if (rtl::SameTextAscii(defs_[i].Name, name)) return static_cast<int>(i);
    return -1;
}

const char* FieldTypeName(TFieldType type) {
    switch (type) {
    case TFieldType::Alpha: return "Alpha";
    case TFieldType::Date: return "Date";
    case TFieldType::Short: return "Short";
    case TFieldType::Long: return "Long";
    case TFieldType::Currency: return "Currency";
    case TFieldType::Number: return "Number";
    case TFieldType::Logical: return "Logical";
    case TFieldType::Memo: return "Memo";
    case TFieldType::Blob: return "Blob";
    case TFieldType::FmtMemo: return "FmtMemo";
    case TFieldType::OLE: return "OLE";
    case TFieldType::Graphic: return "Graphic";
    case TFieldType::Time: return "Time";
    case TFieldType::Timestamp: return "Timestamp";
    case TFieldType::AutoInc: return "AutoInc";
    case TFieldType::BCD: return "BCD";
    case TFieldType::Bytes: return "Bytes";
    case TFieldType::Unknown: break;
    }
    return "Unknown";
}

} // namespace engine
