#include "platform/engine/paradox/SortOrders.h"

#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/StringList.h"

#include <cstdio>

namespace engine::paradox {

bool OrdersTextByBytes(const TTableHeader& table) {
    return table.SortOrderCode == 0 && (table.SortOrderName.empty() || rtl::SameTextAscii(table.SortOrderName, "ascii"));
}

bool KeyOrdersByBytes(const TTableHeader& table, const std::vector<int>& fields) {
    if (OrdersTextByBytes(table)) return true;
    for (const int i : fields)
        if (i >= 0 && i < static_cast<int>(table.Fields.size()) &&
            table.Fields[static_cast<std::size_t>(i)].TypeCode == ftAlpha)
            return false;
    return true;
}

bool PrimaryKeyOrdersByBytes(const TTableHeader& table) {
    std::vector<int> fields;
    for (int i = 0; i < table.KeyFieldCount; ++i) fields.push_back(i);
    return KeyOrdersByBytes(table, fields);
}

std::string SortOrderLabel(const TTableHeader& table) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", table.SortOrderCode);
    return table.SortOrderName.empty() ? std::string(code) : table.SortOrderName + " (" + code + ")";
}

} // namespace engine::paradox
