#include "platform/engine/paradox/KeyOrder.h"

#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/SortOrders.h"

namespace engine::paradox {

TKeyOrder CompareKeys(std::string_view a, std::string_view b, const TTableHeader& table) {
    if (a == b) return TKeyOrder::Equal;
    const bool textByBytes = OrdersTextByBytes(table);
    for (int i = 0; i < table.KeyFieldCount && i < static_cast<int>(table.Fields.size()); ++i) {
        const TFieldInfo& f = table.Fields[static_cast<std::size_t>(i)];
        const auto pa = a.substr(static_cast<std::size_t>(f.Offset), static_cast<std::size_t>(f.Size));
        const auto pb = b.substr(static_cast<std::size_t>(f.Offset), static_cast<std::size_t>(f.Size));
        if (pa == pb) continue;
        if (f.TypeCode == ftAlpha && !textByBytes) return TKeyOrder::Unknown;
        return pa < pb ? TKeyOrder::Less : TKeyOrder::Greater;
    }
    return TKeyOrder::Equal;
}

} // namespace engine::paradox
