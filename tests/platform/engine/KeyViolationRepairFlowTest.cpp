// The key-violation repair as the source database module drives the engine through named
// objects: probe a table keyed by autoincrement IDXFIELD, and when the probe fails recreate
// it (new table, batch move without IDXFIELD, delete, rename).
#include "tests/platform/engine/RecreateFlow.h"
#include "WriterFixtures.h"
#include "paradox/TableCheck.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace test;
using namespace engine;

class RepairFlow : public ::testing::Test {
protected:
    void SetUp() override {
        session.SessionName = "SourceSession";
        session.PrivateDir = dir / "TempDir";
        std::filesystem::create_directories(session.PrivateDir);
        session.Open();
        db.DatabaseName = "SrcDatabase";
        db.SessionName = "SourceSession";
        db.DriverName = "STANDARD";
        db.Params.SetValue("PATH", dir / "data");
        std::filesystem::create_directories(dir / "data");
        db.Open();
        table.DatabaseName = "SrcDatabase";
        table.SessionName = "SourceSession";
    }

    // A billing-like table: IDXFIELD autoincrement first, no index, counter `counter`.
    void MakeHovory(int rows, std::uint32_t counter) {
        TTableLayout layout;
        layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Cislo", ftAlpha, 20}, {"Poznamka", ftMemo, 15}};
        layout.AutoIncrement = counter;
        const std::string path = dir / "data/Hovory.db";
        CreateTableFiles(path, layout);
        TGeneratedRows gen(path, static_cast<std::uint64_t>(rows), [](std::uint64_t i, int f) -> TValue {
            if (f == 0) return static_cast<std::int64_t>(rows_key(i));
            if (f == 1) return "0905 " + std::to_string(i);
            return i % 3 ? TValue(std::string(40, static_cast<char>('a' + i % 26))) : TValue(std::monostate{});
        });
        AppendRecords(path, gen, true, "/tmp");
    }
    static std::int64_t rows_key(std::uint64_t i) { return static_cast<std::int64_t>(1000 - 3 * i); }

    // The module's probe, step by step.
    bool HasKeyViolation() {
        if (!table.Exists()) return false;
        table.FieldDefsUpdate();
        if (table.FieldDefs.Count() == 0 || !rtl::SameTextAscii(table.FieldDefs[0].Name, "IDXFIELD") ||
            table.FieldDefs[0].DataType != TFieldType::AutoInc)
            return false;
        table.IndexDefsUpdate();
        if (table.IndexDefs.Count() > 0) {
            if (!rtl::SameTextAscii(table.IndexDefs[0].Fields, "IDXFIELD") || !table.IndexDefs[0].IsPrimary())
                return false;
        } else {
            table.AddIndex("", "IDXFIELD", ixPrimary);
        }
        bool failed = false;
        try {
            table.Open();
            table.Append();
            table.Post();
            table.Delete();
        } catch (const EDBEngineError&) {
            failed = true;
        }
        try {
            table.Cancel();
            table.Close();
        } catch (const EDBEngineError&) {
            failed = true;
        }
        return failed;
    }

    void RecreateTable() {
        TTable fresh;
        fresh.DatabaseName = table.DatabaseName;
        fresh.SessionName = table.SessionName;
        fresh.TableName = table.TableName + "Temp";
        if (fresh.Exists()) fresh.DeleteTable();
        TBatchMove move;
        ASSERT_GE(test::CopyIntoFreshTable(table, fresh, "IDXFIELD", move), 0);
        table.DeleteTable();
        fresh.RenameTable(table.TableName);
    }

    TempDir dir;
    TSession session;
    TDatabase db;
    TTable table;
};

TEST_F(RepairFlow, AHealthyTableGetsItsIndexAndKeepsEveryRow) {
    MakeHovory(50, 1000);
    table.TableName = "Hovory";
    const auto before = ReadRows(dir / "data/Hovory.db");
    EXPECT_FALSE(HasKeyViolation());
    table.IndexDefsUpdate();
    ASSERT_EQ(table.IndexDefs.Count(), 1u);  // the added primary index stays
    auto after = ReadRows(dir / "data/Hovory.db");
    auto sorted = before;
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return std::stoi(a[0]) < std::stoi(b[0]); });
    EXPECT_EQ(after, sorted);
    EXPECT_EQ(TParadoxTable::Open(dir / "data/Hovory.db")->Header().AutoIncrement, 1001u);
}

TEST_F(RepairFlow, ALaggingCounterIsRepairedWithFreshKeysInTheOldKeyOrder) {
    MakeHovory(50, 900);  // keys run from 853 to 1000: the next number, 901, is taken
    table.TableName = "Hovory";
    ASSERT_TRUE(HasKeyViolation());
    const auto before = ReadRows(dir / "data/Hovory.db");  // keyed now: key order
    RecreateTable();
    const std::string path = dir / "data/Hovory.db";
    const auto after = ReadRows(path);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i][0], std::to_string(i + 1));
        EXPECT_EQ(after[i][1], before[i][1]);
        EXPECT_EQ(after[i][2], before[i][2]);
    }
    table.IndexDefsUpdate();
    EXPECT_EQ(table.IndexDefs.Count(), 0u);
    for (const auto& p : CheckTable(*TParadoxTable::Open(path)).Problems) ADD_FAILURE() << p.Describe();
    EXPECT_FALSE(HasKeyViolation());  // checked again: indexed and probed, now healthy
    EXPECT_EQ(ReadRows(path), after);
    EXPECT_FALSE(std::filesystem::exists(dir / "data/HovoryTemp.db"));
}

} // namespace
