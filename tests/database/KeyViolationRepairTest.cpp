// The key-violation repair on tables shaped like the billing application's: a healthy table
// passes with only its counter moved; one whose counter lags behind its keys is recreated with
// every row in the old key order and fresh ascending keys; tables that are not candidates, or
// that cannot be read whole, are left byte for byte; leftovers of interrupted runs are never
// deleted while they may hold rows; a kill at any step leaves all rows under one name.
#include "CallTables.h"
#include "ModuleFixture.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/FaultPoints.h"
#include "tests/platform/engine/WriterFixtures.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <map>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

const char* const CopyFailedText = "Nastala chyba pri kopírovaní obsahu tabuliek !";

class KeyRepair : public ModuleTest {
protected:
    std::string MakeCalls(const std::string& name, std::uint64_t rows, std::uint32_t counter = 0) {
        return MakeCallTable(databaseDir / (name + ".DB"), rows, counter);
    }
    const database::TOrvDatabaseModule::TKeyRepairOutcome& Outcome(const std::string& table) {
        for (const auto& o : Module().KeyRepairOutcomes)
            if (o.Table == table) return o;
        static database::TOrvDatabaseModule::TKeyRepairOutcome none;
        ADD_FAILURE() << "no outcome for " << table;
        return none;
    }
};

TEST_F(KeyRepair, AHealthyLargeTablePassesWithOnlyItsCounterMoved) {
    const std::string path = MakeCalls("Hovory", 200000);
    const auto before = DirectoryBytes(databaseDir.Path());
    Module().RepairKeyViolations("\"Hovory\"");
    EXPECT_EQ(Outcome("Hovory").Result, TResult::Passed);
    EXPECT_TRUE(uiServices.messages.empty());
    auto after = DirectoryBytes(databaseDir.Path());
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 200001u);
    StoreAutoIncrement(path, 200001, 200000);
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    // The module's texts and pauses.
    EXPECT_EQ(panel.texts.front(), "");
    EXPECT_NE(std::find(panel.texts.begin(), panel.texts.end(),
                        "Prebieha kontrola a oprava chyby \"Key violation\" pre tabuľku: \"Hovory.db\""),
              panel.texts.end());
    EXPECT_EQ(uiServices.pauses, std::vector<int>{500});
    EXPECT_EQ(panel.Text(), "");
    EXPECT_EQ(progress.Max(), 100);
    EXPECT_EQ(progress.Position(), 0);
}

TEST_F(KeyRepair, ALaggingCounterRecreatesTheTableWithEveryRowAndFreshKeys) {
    const std::string path = MakeCalls("Tel_zoz", 3000, 1000);
    const auto before = WithoutKeys(path);
    const auto oldHeader = TParadoxTable::Open(path)->Header();
    Module().RepairKeyViolations("\"Tel_zoz\"");
    ASSERT_EQ(Outcome("Tel_zoz").Result, TResult::Repaired) << Outcome("Tel_zoz").Reason;
    EXPECT_EQ(Outcome("Tel_zoz").RowsBefore, 3000);
    EXPECT_EQ(Outcome("Tel_zoz").RowsAfter, 3000);
    EXPECT_TRUE(uiServices.messages.empty());

    EXPECT_EQ(WithoutKeys(path), before);  // the old key order, every value (memos too)
    const auto keys = Keys(path);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], std::to_string(i + 1));
    const auto header = TParadoxTable::Open(path)->Header();
    EXPECT_FALSE(header.IsKeyed());
    EXPECT_EQ(header.AutoIncrement, 3000u);
    ASSERT_EQ(header.Fields.size(), oldHeader.Fields.size());
    for (std::size_t i = 0; i < header.Fields.size(); ++i) {
        EXPECT_EQ(header.Fields[i].TypeCode, oldHeader.Fields[i].TypeCode) << header.Fields[i].Name;
        EXPECT_EQ(header.Fields[i].SizeByte, oldHeader.Fields[i].SizeByte) << header.Fields[i].Name;
    }
    // The files keep their spelling, and nothing is left beside them.
    EXPECT_TRUE(fs::exists(databaseDir / "Tel_zoz.DB") && fs::exists(databaseDir / "Tel_zoz.MB"));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(databaseDir.Path())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"Tel_zoz.DB", "Tel_zoz.MB"}));
    ExpectConsistent(path);

    // Checked again: the primary index is added and the probe passes.
    Module().RepairKeyViolations("\"Tel_zoz\"");
    EXPECT_EQ(Outcome("Tel_zoz").Result, TResult::Passed);
    EXPECT_TRUE(TParadoxTable::Open(path)->Header().IsKeyed());
    EXPECT_EQ(WithoutKeys(path), before);
}

TEST_F(KeyRepair, TablesThatAreNotCandidatesAreNeverTouched) {
    // First field not an autoincrement "IDXFIELD"; an autoincrement "IDXFIELD" whose primary
    // index is on more fields; one whose first index is a secondary one.
    TTableLayout plain = CallLayout();
    plain.Fields[0] = {"IDXFIELD", ftLong, 4};
    MakeTable(databaseDir / "Plain.DB", plain, 50, [](std::uint64_t i, int f) {
        return f == 0 ? engine::TValue(static_cast<std::int64_t>(i)) : CallValue(i, f);
    });
    TTableLayout wide = CallLayout();
    wide.KeyFieldCount = 2;
    MakeTable(databaseDir / "Wide.DB", wide, 50, CallValue);
    StoreAutoIncrement(databaseDir / "Wide.DB", 50, 3);  // would fail a probe
    const auto before = DirectoryBytes(databaseDir.Path());
    Module().RepairKeyViolations("\"Plain\",\"Wide\",\"Missing\"");
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    for (const char* t : {"Plain", "Wide", "Missing"}) EXPECT_EQ(Outcome(t).Result, TResult::NotChecked) << t;
}

TEST_F(KeyRepair, ATableWithoutIndexGetsItsPrimaryIndexAndKeepsIt) {
    TTableLayout loose = CallLayout();
    loose.KeyFieldCount = 0;
    MakeTable(databaseDir / "Loose.DB", loose, 100, CallValue);
    Module().RepairKeyViolations("\"Loose\"");
    EXPECT_EQ(Outcome("Loose").Result, TResult::Passed);
    EXPECT_TRUE(TParadoxTable::Open(databaseDir / "Loose.DB")->Header().IsKeyed());
}

TEST_F(KeyRepair, ATableWhoseOnlyFieldIsTheKeyKeepsItsRows) {
    TTableLayout only;
    only.Fields = {{"IDXFIELD", ftAutoInc, 4}};
    only.KeyFieldCount = 1;
    const std::string path = databaseDir / "Only.DB";
    MakeTable(path, only, 250, [](std::uint64_t, int) { return engine::TValue(); });
    StoreAutoIncrement(path, 250, 10);
    Module().RepairKeyViolations("\"Only\"");
    ASSERT_EQ(Outcome("Only").Result, TResult::Repaired) << Outcome("Only").Reason;
    const auto keys = Keys(path);
    ASSERT_EQ(keys.size(), 250u);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], std::to_string(i + 1));
}

TEST_F(KeyRepair, ATableThatCannotBeReadWholeIsLeftByteForByteAndTheLoopGoesOn) {
    // A lagging counter (the probe fails) and a block chain that ends early.
    const std::string broken = MakeCalls("Faktury", 400, 100);
    {
        std::fstream f(broken, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(TParadoxTable::Open(broken)->Header().BlockOffset(2)));
        f.write("\x00\x00", 2);
    }
    const std::string lagging = MakeCalls("Tel_zoz", 100, 10);
    std::map<std::string, std::string> before;
    for (const auto& [name, bytes] : DirectoryBytes(databaseDir.Path()))
        if (name.rfind("Faktury", 0) == 0) before[name] = bytes;
    Module().RepairKeyViolations("\"Faktury\",\"Tel_zoz\"");
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Kópia obsahu tabuľky");
    EXPECT_EQ(uiServices.messages[0].text, CopyFailedText);
    EXPECT_EQ(uiServices.messages[0].icon, ui::MsgIcon::Information);
    EXPECT_EQ(Outcome("Faktury").Result, TResult::CopyFailed);
    EXPECT_FALSE(fs::exists(databaseDir / "FakturyTemp.DB")) << "the failed copy was left behind";
    for (const auto& [name, bytes] : DirectoryBytes(databaseDir.Path())) {
        if (before.count(name)) {
            EXPECT_EQ(bytes, before[name]) << name << " changed";
        }
    }
    EXPECT_EQ(Outcome("Tel_zoz").Result, TResult::Repaired);
    EXPECT_EQ(Keys(lagging).size(), 100u);
}

TEST_F(KeyRepair, AFailingCopyLeavesTheOldTableByteForByte) {
    MakeCalls("Hovory", 2000, 5);
    const auto before = DirectoryBytes(databaseDir.Path());
    rtl::TFaultInjectingFileSystem fs;
    rtl::ScopedFileSystem scope(fs);
    // The copy's writes go to the new table's temporaries; fail one in the middle.
    fs.Arm(rtl::TFault{rtl::OpBit(rtl::FsOp::Write), 20, ENOSPC, false, "HovoryTemp"});
    Module().RepairKeyViolations("\"Hovory\"");
    EXPECT_TRUE(fs.Struck());
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].text, CopyFailedText);
    // Every file as it was, and none besides: the half-filled copy is gone.
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    EXPECT_NE(Outcome("Hovory").Reason.find("No space"), std::string::npos) << Outcome("Hovory").Reason;
}

TEST_F(KeyRepair, ALeftoverTempTableIsDeletedOnlyWhenTheOriginalHoldsItsRows) {
    MakeCalls("Hovory", 300, 5);
    MakeCalls("HovoryTemp", 100);  // fewer rows, original intact: an abandoned copy
    Module().RepairKeyViolations("\"Hovory\"");
    EXPECT_EQ(Outcome("Hovory").Result, TResult::Repaired);
    EXPECT_FALSE(fs::exists(databaseDir / "HovoryTemp.DB"));

    MakeCalls("Linky", 100, 5);
    MakeCalls("LinkyTemp", 300);  // more rows than the original: maybe the only copy
    const auto before = DirectoryBytes(databaseDir.Path());
    try {
        Module().RepairKeyViolations("\"Linky\"");
        FAIL() << "the leftover was not refused";
    } catch (const rtl::EError& e) {
        EXPECT_NE(e.Message().find("LinkyTemp"), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    EXPECT_EQ(Outcome("Linky").Result, TResult::Error);
    EXPECT_EQ(progress.Max(), 100);  // reset on the error path too
    EXPECT_EQ(panel.Text(), "");

    // A table moved aside by a swap that never finished is left alone too.
    MakeCalls("Brany", 50, 5);
    MakeCalls("BranyOld", 50);
    const auto beforeBrany = DirectoryBytes(databaseDir.Path());
    try {
        Module().RepairKeyViolations("\"Brany\"");
        FAIL() << "the table moved aside was not refused";
    } catch (const rtl::EError& e) {
        EXPECT_NE(e.Message().find("BranyOld"), std::string::npos) << e.Message();
    }
    ExpectSameFiles(beforeBrany, DirectoryBytes(databaseDir.Path()));  // no new table was even made
}

// A leftover that cannot be read whole may hold more than it shows: it stays, however few
// rows can be read from it. A table missing under its own name while a leftover of the repair
// stands says where its rows may be.
TEST_F(KeyRepair, ADamagedLeftoverIsKeptAndAMissingTableNamesItsLeftover) {
    MakeCalls("Hovory", 300, 5);
    const std::string temp = MakeCalls("HovoryTemp", 100);
    {
        std::fstream f(temp, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(TParadoxTable::Open(temp)->Header().BlockOffset(2)));
        f.write("\x00\x00", 2);  // the chain ends after block 2
    }
    auto before = DirectoryBytes(databaseDir.Path());
    try {
        Module().RepairKeyViolations("\"Hovory\"");
        FAIL() << "a damaged leftover was not refused";
    } catch (const rtl::EError& e) {
        EXPECT_NE(e.Message().find("HovoryTemp"), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));

    MakeCalls("LinkyTemp", 100);  // no "Linky" at all
    before = DirectoryBytes(databaseDir.Path());
    try {
        Module().RepairKeyViolations("\"Linky\"");
        FAIL() << "a missing table was not reported";
    } catch (const rtl::EError& e) {
        EXPECT_NE(e.Message().find("\"Linky\" chýba"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("LinkyTemp"), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
}

// The boundary between an abandoned copy and a possibly only copy: a leftover with as many
// rows as the original holds nothing the original lacks; one more row and it might.
TEST_F(KeyRepair, ALeftoverWithOneRowMoreThanTheOriginalIsKeptOneWithAsManyIsDeleted) {
    MakeCalls("Hovory", 100, 5);
    MakeCalls("HovoryTemp", 101);
    const auto before = DirectoryBytes(databaseDir.Path());
    EXPECT_THROW(Module().RepairKeyViolations("\"Hovory\""), rtl::EError);
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));

    MakeCalls("Linky", 100, 5);
    MakeCalls("LinkyTemp", 100);
    Module().RepairKeyViolations("\"Linky\"");
    EXPECT_EQ(Outcome("Linky").Result, TResult::Repaired);
    EXPECT_FALSE(fs::exists(databaseDir / "LinkyTemp.DB"));
    EXPECT_EQ(ReadRows(databaseDir / "Linky.DB").size(), 100u);
}

// Kills the repair of one lagging table at each of its disk changes; after every kill all
// rows are found whole under one of the names the repair uses.
TEST_F(KeyRepair, AKillAtAnyStepLeavesAllRowsUnderOneName) {
    const std::string pristine = other / "pristine";
    fs::create_directories(pristine);
    MakeTable(pristine + "/Hovory.DB", CallLayout(), 120, CallValue);
    StoreAutoIncrement(pristine + "/Hovory.DB", 120, 7);
    const auto rows = WithoutKeys(pristine + "/Hovory.DB");
    auto reset = [&] {
        fs::remove_all(databaseDir.Path());
        fs::create_directories(databaseDir.Path());
        for (const auto& e : fs::directory_iterator(pristine)) fs::copy_file(e.path(), databaseDir / e.path().filename().string());
    };
    auto repair = [&] {
        database::TOrvDatabaseModule module;
        module.OpenSourceByDirectory(databaseDir.Path());
        module.RepairKeyViolations("\"Hovory\"");
    };
    reset();
    { database::TOrvDatabaseModule madeOnce; }  // its private directory exists from now on, as in every run below
    const std::uint64_t points = ForEachKillPoint(
        "key-violation repair of one table", reset,
        [&] {
            repair();
            return std::string();
        },
        [&](const TPointRun&) {
            int whole = 0;
            for (const char* name : {"Hovory", "HovoryTemp", "HovoryOld"}) {
                const std::string data = engine::paradox::FindDataFile(databaseDir.Path(), name);
                if (!data.empty() && WithoutKeys(data) == rows) ++whole;
            }
            EXPECT_GE(whole, 1);
            // And running the repair again either finishes it or names what it will not touch.
            try {
                repair();
            } catch (const rtl::EError& e) {
                EXPECT_TRUE(e.Message().find("HovoryTemp") != std::string::npos ||
                            e.Message().find("HovoryOld") != std::string::npos)
                    << e.Message();
            }
        });
    EXPECT_GT(points, 10u);
}

} // namespace
