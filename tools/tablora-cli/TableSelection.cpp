#include "tools/tablora-cli/TableSelection.h"

#include "platform/rtl/Messages.h"
#include "platform/rtl/StringList.h"

#include <algorithm>

namespace cli {

namespace {

bool Names(const std::vector<std::string>& names, const std::string& table) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return rtl::SameTextAscii(n, table); });
}

} // namespace

TTableSelection SelectTables(const std::vector<std::string>& all, const std::string& tables, const std::string& exclude) {
    TTableSelection s;
    const std::vector<std::string> excluded = rtl::SplitCommaText(exclude);
    for (const std::string& table : tables.empty() ? all : rtl::SplitCommaText(tables)) {
        if (Names(excluded, table)) s.Excluded.push_back({table, rtl::Text(rtl::TMsg::CliWhyExcluded)});
        else s.Tables.push_back(table);
    }
    for (const std::string& name : excluded)
        if (!Names(all, name)) s.NotInDatabase.push_back(name);
    return s;
}

} // namespace cli
