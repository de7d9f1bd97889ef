// The tables a command works on: those --tables names (every table of the database without
// it), less those --exclude names. An excluded name is compared without regard to letter
// case, as table names are; one the database does not hold is told, not taken for a typo of
// another.
#pragma once

#include "tools/tablora-cli/RunSummary.h"

#include <string>
#include <vector>

namespace cli {

struct TTableSelection {
    std::vector<std::string> Tables;
    std::vector<TRunSummary::TTable> Excluded;  // each with why
    std::vector<std::string> NotInDatabase;     // excluded names no table of `all` has
};

TTableSelection SelectTables(const std::vector<std::string>& all, const std::string& tables, const std::string& exclude);

} // namespace cli
