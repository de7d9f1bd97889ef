// The Slovak descriptions the check lists show instead of the billing database's table
// file names: a fixed list of name=description entries, names stored in lower case.
#pragma once

#include "platform/rtl/StringList.h"

#include <string>

namespace app {

// Fills `names` (cleared first) with the fixed entries, in their fixed order. Two names
// occur twice; the look-up takes the first, so the later entries are never shown.
void FillTableDisplayNames(rtl::TStringList& names);

// The description of the first entry named `tableName` (ASCII case ignored), or
// `tableName` itself when no entry names it or its description is empty.
std::string DisplayNameOf(const rtl::TStringList& names, const std::string& tableName);

} // namespace app
