// Table file names grouped into the tables they make up. A table's files share its name
// before the last dot, without regard to letter case (HOVORY.DB with Hovory.px), unless the
// names spell the data file in several letter cases: on a file system that tells them apart,
// "Hovory.DB" and "hovory.db" are two tables, and each takes the files spelled exactly as it.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace database {

// A file's table key: its name before the last dot, in lower case (rtl::FileNameKey).
std::string TableKeyOf(const std::string& fileName);

struct TTableFamily {
    std::string Name;                // the data file's name without extension, else the first file's
    std::string DataFile;            // "" when the family has none
    std::string MemoFile;            // "" when it has none
    std::vector<std::string> Files;  // every file, in the order given
    std::string Key() const { return TableKeyOf(Name); }
    // Whether other families share its key (letter-case twins).
    bool Twin = false;
};

// The families of `names` (file names, not paths), ordered by key, then by name.
std::vector<TTableFamily> GroupFamilies(const std::vector<std::string>& names);

// The families `tables` names (names without extension, letter case ignored; of twins, the
// one spelled exactly as named, else all of them). Names that match no family go to `unknown`.
std::vector<TTableFamily> SelectFamilies(const std::vector<TTableFamily>& families,
                                         const std::vector<std::string>& tables, std::vector<std::string>& unknown);

// The keys of `tables` (names as a user gives them), for filtering file names.
std::set<std::string> TableKeys(const std::vector<std::string>& tables);

} // namespace database
