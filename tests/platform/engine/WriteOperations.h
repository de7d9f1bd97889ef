// The engine writes that the crash and failure tests drive, each on the tables of a work
// directory: the table "T" (keyed on "Id"), the source "S" of a batch move, the unkeyed "U".
#pragma once

#include "platform/engine/EngineObjects.h"

#include <cstdint>
#include <string>

namespace test {

// Posts one row with key 51 (into a full middle block: a split) and a long memo, and closes.
inline void InsertRow(const std::string& work) {
    engine::TTable t;
    t.TableName = work + "/T.db";
    t.Open();
    t.Append();
    t.SetFieldByName("Id", std::int64_t{51});
    t.SetFieldByName("Small", std::int64_t{-3});
    t.SetFieldByName("Notes", std::string(4000, 'n'));
    t.Post();
    t.Close();
}

inline void BatchMoveSIntoT(const std::string& work) {
    engine::TTable source, dest;
    source.TableName = work + "/S.db";
    dest.TableName = work + "/T.db";
    engine::TBatchMove move;
    move.Source = &source;
    move.Destination = &dest;
    move.Execute();
}

inline void AddPrimaryIndexToU(const std::string& work) {
    engine::TTable t;
    t.TableName = work + "/U.db";
    t.AddIndex("", "Id", engine::ixPrimary);
}

// The key-violation probe: a blank row appended, posted and deleted again.
inline void ProbeT(const std::string& work) {
    engine::TTable t;
    t.TableName = work + "/T.db";
    t.Open();
    t.Append();
    t.Post();
    t.Delete();
    t.Close();
}

} // namespace test
