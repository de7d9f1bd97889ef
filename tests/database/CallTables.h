// Tables shaped like the billing application's call tables: "IDXFIELD" first (an
// autoincrement field carrying the primary index), then a field of every type, memo data
// included; and how their rows read back without the keys the repair numbers afresh.
#pragma once

#include "tests/platform/engine/WriterFixtures.h"

#include <string>
#include <vector>

namespace test {

inline TTableLayout CallLayout() {
    TTableLayout l = AllTypesLayout(1);
    l.Fields[0] = {"IDXFIELD", ftAutoInc, 4};
    l.Fields.erase(l.Fields.begin() + 14);  // the second autoincrement field
    return l;
}

inline engine::TValue CallValue(std::uint64_t i, int f) {
    if (f == 0) return std::monostate{};  // numbered
    return AllTypesValue(i, f >= 14 ? f + 1 : f);
}

// Every row's cells but the first (the key), in stored order.
inline std::vector<std::vector<std::string>> WithoutKeys(const std::string& path) {
    auto rows = ReadRows(path);
    for (auto& r : rows) r.erase(r.begin());
    return rows;
}

inline std::vector<std::string> Keys(const std::string& path) {
    std::vector<std::string> keys;
    for (const auto& r : ReadRows(path)) keys.push_back(r[0]);
    return keys;
}

// Creates `path` with `rows` call rows; a `counter` below the largest key makes the
// key-violation probe fail.
inline std::string MakeCallTable(const std::string& path, std::uint64_t rows, std::uint32_t counter = 0) {
    MakeTable(path, CallLayout(), rows, CallValue);
    if (counter) StoreAutoIncrement(path, TParadoxTable::Open(path)->Header().AutoIncrement, counter);
    return path;
}

} // namespace test
