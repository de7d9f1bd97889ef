// Finding a table's files on disk: the data file by table name (with or without ".db"),
// its companions (.mb, .px) and its secondary index files, all matched without regard to
// letter case, because tables copied between systems mix HOVORY.DB with Hovory.px.
#pragma once

#include <string>
#include <vector>

namespace engine::paradox {

// The .db file of table `name` in `dir` as found on disk; empty when there is none. `name`
// may carry the ".db" extension or none; a name with another extension finds nothing.
std::string FindDataFile(const std::string& dir, const std::string& name);

// The companion of `dataFile` with extension `ext` (".mb", ".px") as found on disk, or empty.
std::string FindCompanionFile(const std::string& dataFile, const std::string& ext);

struct TSecondaryIndexFiles {
    std::string DataPath;   // .Xnn / .XGn
    std::string TreePath;   // .Ynn / .YGn, empty when missing
};

// The secondary indexes of `dataFile`: every .Xnn (nn two hex digits) and .XGn with its
// matching .Ynn / .YGn, sorted by file name.
std::vector<TSecondaryIndexFiles> FindSecondaryIndexes(const std::string& dataFile);

} // namespace engine::paradox
