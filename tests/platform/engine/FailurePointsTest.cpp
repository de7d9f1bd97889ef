// Every call an engine write makes through the file-system seam fails in turn (ENOSPC, EIO,
// EACCES, EROFS): each failed run must say why, leave every table exactly as before the
// change or exactly as after it, and let the same change succeed when it is tried again.
#include "WriteOperations.h"
#include "WriterFixtures.h"
#include "platform/engine/TableFamily.h"
#include "paradox/SecondaryIndexes.h"
#include "tests/support/FaultPoints.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace {

using namespace test;
namespace fs = std::filesystem;
using engine::TTable;
using TRows = std::vector<std::vector<std::string>>;
using TChange = std::function<void(const std::string& work)>;

void CopyDirectory(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
}

// Each table's state as a reader finds it once the next writer has looked at the directory
// (which completes a family change whose writer is gone): its key field count, then its rows;
// a missing table has neither.
std::map<std::string, TRows> TableRows(const std::string& dir, const std::vector<std::string>& tables, bool sorted) {
    std::map<std::string, TRows> out;
    CompleteAsTheNextWriter(dir);
    for (const std::string& table : tables) {
        const std::string data = engine::FindDataFile(dir, table);
        if (data.empty()) {
            out[table] = {};
            continue;
        }
        TRows rows = ReadRows(data);
        if (sorted) std::sort(rows.begin(), rows.end());
        const auto header = TParadoxTable::Open(data)->Header();
        rows.insert(rows.begin(), {"key fields", std::to_string(header.IsKeyed() ? header.KeyFieldCount : 0)});
        out[table] = rows;
    }
    return out;
}

// Fails each call of `change` in turn on copies of `pristine`; `tables` hold the rows that
// must be found as before or as after, compared in stored order unless `sorted`.
std::uint64_t ExpectBeforeOrAfter(const std::string& operation, const std::string& pristine,
                                  const std::vector<std::string>& tables, const TChange& change, bool sorted = false) {
    TempDir scratch;
    const std::string work = scratch / "work";
    CopyDirectory(pristine, work);
    const auto before = TableRows(work, tables, sorted);
    change(work);
    const auto after = TableRows(work, tables, sorted);
    EXPECT_NE(before, after) << operation << " changes nothing";
    return ForEachFailurePoint(
        operation, [&] { CopyDirectory(pristine, work); },
        [&] {
            change(work);
            return std::string();
        },
        [&](const TPointRun& r) {
            const auto rows = TableRows(work, tables, sorted);
            if (r.Reported.empty()) {
                EXPECT_EQ(rows, after) << "reported success without the change";
            } else {
                ExpectReasonGiven(r);
                EXPECT_TRUE(rows == before || rows == after) << "rows lost or half-changed";
            }
            for (const std::string& table : tables)
                if (const std::string data = engine::FindDataFile(work, table); !data.empty()) ExpectConsistent(data);
            // Nothing left behind stands in the way of the next try.
            if (!r.Reported.empty() && rows == before) {
                CopyDirectory(work, work + ".again");
                try {
                    change(work + ".again");
                    EXPECT_EQ(TableRows(work + ".again", tables, sorted), after);
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "the change failed when tried again: " << e.what();
                }
            }
        });
}

class EngineFailurePoints : public ::testing::Test {
protected:
    void SetUp() override {
        pristine_ = dir_ / "pristine";
        fs::create_directories(pristine_);
    }
    TempDir dir_;
    std::string pristine_;
};

TEST_F(EngineFailurePoints, TheKeyViolationProbe) {
    MakeTable(pristine_ + "/T.db", AllTypesLayout(1), 30);
    TempDir scratch;
    const std::string work = scratch / "work";
    const std::uint32_t counter = TParadoxTable::Open(pristine_ + "/T.db")->Header().AutoIncrement;
    const auto rows = ReadRows(pristine_ + "/T.db");
    const std::uint64_t points = ForEachFailurePoint(
        "probe", [&] { CopyDirectory(pristine_, work); },
        [&] {
            ProbeT(work);
            return std::string();
        },
        [&](const TPointRun& r) {
            // Rows never change; the counter moves on by one exactly when the probe succeeded.
            EXPECT_EQ(ReadRows(work + "/T.db"), rows);
            const std::uint32_t now = TParadoxTable::Open(work + "/T.db")->Header().AutoIncrement;
            if (r.Reported.empty()) {
                EXPECT_EQ(now, counter + 1);
            } else {
                ExpectReasonGiven(r);
                EXPECT_TRUE(now == counter || now == counter + 1);
            }
        });
    EXPECT_GE(points, 4u);
}

TEST_F(EngineFailurePoints, AnInsertIntoATableWithSecondaryIndexes) {
    MakeTable(pristine_ + "/T.db", AllTypesLayout(1), 40);
    CreateSecondaryIndex(pristine_ + "/T.db", {"Small"}, "", pristine_);
    CreateSecondaryIndex(pristine_ + "/T.db", {"Born", "Price"}, "byBorn", pristine_);
    ExpectBeforeOrAfter("insert (post and close)", pristine_, {"T"}, InsertRow);
}

TEST_F(EngineFailurePoints, AddingThePrimaryIndex) {
    MakeTable(pristine_ + "/U.db", AllTypesLayout(0), 40, [](std::uint64_t i, int f) {
        return f == 0 ? engine::TValue(static_cast<std::int64_t>(1000 - i)) : AllTypesValue(i, f);
    });
    ExpectBeforeOrAfter("AddIndex", pristine_, {"U"}, AddPrimaryIndexToU, /*sorted=*/true);
}

TEST_F(EngineFailurePoints, ABatchMoveIntoATableWithRows) {
    MakeTable(pristine_ + "/T.db", AllTypesLayout(1), 30);
    MakeTable(pristine_ + "/S.db", AllTypesLayout(0), 20, [](std::uint64_t i, int f) {
        return f == 0 ? engine::TValue(static_cast<std::int64_t>(5000 + i)) : AllTypesValue(i, f);
    });
    ExpectBeforeOrAfter("batch move", pristine_, {"S", "T"}, BatchMoveSIntoT);
}

// The steps the key-violation repair takes with whole tables.
TEST_F(EngineFailurePoints, CreatingRenamingAndDeletingATable) {
    MakeTable(pristine_ + "/T.db", AllTypesLayout(1), 30);
    CreateSecondaryIndex(pristine_ + "/T.db", {"Small"}, "", pristine_);
    ExpectBeforeOrAfter("rename table", pristine_, {"T", "TOld"}, [](const std::string& work) {
        TTable t;
        t.TableName = work + "/T.db";
        t.RenameTable("TOld");
    });
    ExpectBeforeOrAfter("delete table", pristine_, {"T"}, [](const std::string& work) {
        TTable t;
        t.TableName = work + "/T.db";
        t.DeleteTable();
    });
}

} // namespace
