// Finding a table's files on disk: the data file by table name (with or without ".db"),
// its companions (.mb, .px) and its secondary index files, all matched without regard to
// letter case, because tables copied between systems mix HOVORY.DB with Hovory.px.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <string>
#include <vector>

namespace engine::paradox {

// The .db file of table `name` in `dir` as found on disk; empty when there is none. `name`
// may carry the ".db" extension or none; a name with another extension finds nothing. Of
// files whose names differ only in letter case, the one spelled as asked is found first.
std::string FindDataFile(const std::string& dir, const std::string& name);

// The companion of `dataFile` with extension `ext` (".mb", ".px") as found on disk, or empty.
std::string FindCompanionFile(const std::string& dataFile, const std::string& ext);

// Raises EDBEngineError (InvalidRequest) when the directory of `dataFile` holds another data
// file of the same name in other letter case ("Brany.DB" beside "BRANY.db"): the two tables'
// companions cannot be told apart, so changing either family could move, replace or delete
// the other's files. Both stay readable; neither is changed until one is renamed.
void RefuseAmbiguousTable(const std::string& dataFile);

struct TSecondaryIndexFiles {
    std::string DataPath;   // .Xnn / .XGn
    std::string TreePath;   // .Ynn / .YGn, empty when missing
};

// The secondary indexes of `dataFile`: every .Xnn (nn two hex digits) and .XGn with its
// matching .Ynn / .YGn, sorted by file name.
std::vector<TSecondaryIndexFiles> FindSecondaryIndexes(const std::string& dataFile);

} // namespace engine::paradox
