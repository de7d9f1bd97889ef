// The engine calls by which the key-violation repair recreates a table: a fresh table with
// the old one's fields and no index, every row batch-moved into it with the key field left
// to the engine's numbering. Shared by the engine tests that walk that flow.
#pragma once

#include "platform/engine/EngineObjects.h"
#include "platform/rtl/StringList.h"

namespace test {

// Creates `fresh` like `old` (closed, definitions read here) and moves every row across;
// returns the fresh table's row count. `move` is left for the caller to inspect.
inline int CopyIntoFreshTable(engine::TTable& old, engine::TTable& fresh, const std::string& keyName,
                              engine::TBatchMove& move) {
    old.Close();
    old.FieldDefsUpdate();
    rtl::TStringList names;
    for (const auto& def : old.FieldDefs) {
        if (!rtl::SameTextAscii(def.Name, keyName)) names.Add(def.Name);
        fresh.FieldDefs.Add(def.Name, def.DataType, def.Size);
    }
    fresh.CreateTable();
    move.Source = &old;
    move.Destination = &fresh;
    move.Mappings = names;
    move.AbortOnKeyViol = false;
    move.Execute();
    fresh.Open();
    const int count = fresh.RecordCount();
    fresh.Close();
    return count;
}

} // namespace test
