// The key-violation repair on tables shaped like the billing application's: a healthy table
// passes with only its counter moved; one whose counter lags behind its keys is recreated with
// every row in the old key order and fresh ascending keys; tables that are not candidates, or
// that cannot be read whole, are left byte for byte; a probe that fails for another reason
// than a key violation is that table's error; the rows are copied into a work table no list
// shows, whose leftovers are never deleted while they may hold rows; a kill at any step
// leaves the table whole, old or new, under its name once the directory is opened again.
#include "CallTables.h"
#include "ModuleFixture.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/FaultPoints.h"
#include "tests/platform/engine/WriterFixtures.h"

#include <gtest/gtest.h>


#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

const char* const CopyFailedText = "Nastala chyba pri kopírovaní obsahu tabuliek !";

// The work table the repair of `name` copies its rows into.
std::string Work(const std::string& name) { return ".~" + name + "~kopia"; }

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
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
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
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
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
    EXPECT_EQ(uiServices.messages[0].icon, ui::TMsgIcon::Information);
    EXPECT_EQ(Outcome("Faktury").Result, TResult::CopyFailed);
    EXPECT_FALSE(fs::exists(databaseDir / (Work("Faktury") + ".DB"))) << "the failed copy was left behind";
    for (const auto& [name, bytes] : DirectoryBytes(databaseDir.Path())) {
        if (before.count(name)) {
            EXPECT_EQ(bytes, before[name]) << name << " changed";
        }
    }
    EXPECT_EQ(Outcome("Tel_zoz").Result, TResult::Repaired);
    EXPECT_EQ(Keys(lagging).size(), 100u);
}

TEST_F(KeyRepair, AFailingCopyLeavesTheOldTableByteForByte) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    MakeCalls("Hovory", 2000, 5);
    const auto before = DirectoryBytes(databaseDir.Path());
    rtl::TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    // The copy's writes go to the new table's temporaries; fail one in the middle.
    fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Write), 8, ENOSPC, false, "Hovory~kopia"});
    Module().RepairKeyViolations("\"Hovory\"");
    EXPECT_TRUE(fs.Struck());
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].text, CopyFailedText);
    // Every file as it was, and none besides: the half-filled copy is gone.
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    EXPECT_NE(Outcome("Hovory").Reason.find("Na zariadení nie je voľné miesto"), std::string::npos) << Outcome("Hovory").Reason;
}

TEST_F(KeyRepair, ALeftoverWorkTableIsDeletedOnlyWhenTheOriginalHoldsItsRows) {
    MakeCalls("Hovory", 300, 5);
    MakeCalls(Work("Hovory"), 100);  // fewer rows, original intact: an abandoned copy
    Module().RepairKeyViolations("\"Hovory\"");
    EXPECT_EQ(Outcome("Hovory").Result, TResult::Repaired);
    EXPECT_FALSE(fs::exists(databaseDir / (Work("Hovory") + ".DB")));

    MakeCalls("Linky", 100, 5);
    MakeCalls(Work("Linky"), 300);  // more rows than the original: maybe the only copy
    const auto before = DirectoryBytes(databaseDir.Path());
    try {
        Module().RepairKeyViolations("\"Linky\"");
        FAIL() << "the leftover was not refused";
    } catch (const rtl::EError& e) {
        EXPECT_NE(e.Message().find(Work("Linky")), std::string::npos) << e.Message();
    }
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    EXPECT_EQ(Outcome("Linky").Result, TResult::Error);
    EXPECT_EQ(progress.Max(), 100);  // reset on the error path too
    EXPECT_EQ(panel.Text(), "");
}

// Real tables whose names the repair once used for its own are ordinary tables: they block
// nothing, are listed and left as they are, while the work table is never listed.
TEST_F(KeyRepair, RealTablesNamedOldAndTempAreOrdinaryTablesAndWorkTablesAreNeverListed) {
    const std::string brany = MakeCalls("Brany", 50, 5);
    MakeCalls("BranyOld", 20);
    MakeCalls("BranyTemp", 30);
    const auto rows = WithoutKeys(brany);
    auto before = DirectoryBytes(databaseDir.Path());
    Module().RepairKeyViolations("\"Brany\"");
    ASSERT_EQ(Outcome("Brany").Result, TResult::Repaired) << Outcome("Brany").Reason;
    EXPECT_EQ(WithoutKeys(brany), rows);
    auto after = DirectoryBytes(databaseDir.Path());
    for (const char* name : {"BranyOld.DB", "BranyOld.PX", "BranyOld.MB", "BranyTemp.DB", "BranyTemp.PX", "BranyTemp.MB"}) {
        ASSERT_TRUE(before.count(name)) << name;
        EXPECT_EQ(after[name], before[name]) << name;
    }

    MakeCalls(Work("Brany"), 10);
    std::string all, fit;
    Module().LoadTableLists(all, fit);
    EXPECT_EQ(all, "Brany,BranyOld,BranyTemp");
    EXPECT_EQ(fit, "Brany,BranyOld,BranyTemp");
    EXPECT_EQ(Module().CountTables(), 3);
    // Nor backed up.
    Module().BackupToDirectory(other / "backup", true, 3);
    for (const auto& e : fs::directory_iterator(other / "backup"))
        EXPECT_EQ(e.path().filename().string().find("~kopia"), std::string::npos) << e.path();
    EXPECT_TRUE(fs::exists(other / "backup/BranyOld.DB"));
}

// A leftover from which not every row can be read may hold more than it shows: it stays and
// is named, however few rows can be read from it, none included.
TEST_F(KeyRepair, ALeftoverThatCannotBeReadWholeIsKeptAndNamed) {
    const std::string leftover = databaseDir / (Work("Hovory") + ".DB");
    const std::vector<std::pair<const char*, std::function<void()>>> damages{
        {"a bad header",
         [&] {
             std::fstream f(leftover, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(0x21);  // the field count
             f.write("\x00\x00", 2);
         }},
        {"a password",
         [&] {
             std::fstream f(leftover, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(0x5C);
             f.write("\x11\x22\x33\x44", 4);
         }},
        {"a broken first block",
         [&] {
             std::fstream f(leftover, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(TParadoxTable::Open(leftover)->Header().BlockOffset(1)) + 4);
             f.write("\xF0\x7F", 2);  // the block's size of its records: far past the block
         }},
        {"a chain that starts nowhere",
         [&] {
             std::fstream f(leftover, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(0x0C);  // the first block of the chain
             f.write("\x00\x00", 2);
         }},
    };
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        fs::remove_all(databaseDir.Path());
        fs::create_directories(databaseDir.Path());
        MakeCalls("Hovory", 300, 5);
        MakeCalls(Work("Hovory"), 100);
        damage();
        const auto before = DirectoryBytes(databaseDir.Path());
        try {
            Module().RepairKeyViolations("\"Hovory\"");
            ADD_FAILURE() << "the leftover was not refused";
        } catch (const rtl::EError& e) {
            EXPECT_NE(e.Message().find(Work("Hovory")), std::string::npos) << e.Message();
        }
        ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
    }
}

// The boundary between an abandoned copy and a possibly only copy: a leftover with as many
// rows as the original holds nothing the original lacks; one more row and it might.
TEST_F(KeyRepair, ALeftoverWithOneRowMoreThanTheOriginalIsKeptOneWithAsManyIsDeleted) {
    MakeCalls("Hovory", 100, 5);
    MakeCalls(Work("Hovory"), 101);
    const auto before = DirectoryBytes(databaseDir.Path());
    EXPECT_THROW(Module().RepairKeyViolations("\"Hovory\""), rtl::EError);
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));

    MakeCalls("Linky", 100, 5);
    MakeCalls(Work("Linky"), 100);
    Module().RepairKeyViolations("\"Linky\"");
    EXPECT_EQ(Outcome("Linky").Result, TResult::Repaired);
    EXPECT_FALSE(fs::exists(databaseDir / (Work("Linky") + ".DB")));
    EXPECT_EQ(ReadRows(databaseDir / "Linky.DB").size(), 100u);
}

// Only the engine's key violation sends a table into recreation. A full disk or an I/O error
// when the probe's counter is written, or a lock another process holds, is that table's
// error: shown, the table left as it is, and the run goes on with the next table.
TEST_F(KeyRepair, AProbeThatFailsForAnotherReasonIsTheTablesErrorNotARepair) {
    for (const int error : {ENOSPC, EIO}) {
        SCOPED_TRACE(std::strerror(error));
        fs::remove_all(databaseDir.Path());
        fs::create_directories(databaseDir.Path());
        uiServices.messages.clear();
        MakeCalls("Hovory", 200);  // healthy: only the closing write of its counter fails
        const std::string lagging = MakeCalls("Linky", 50, 5);
        const auto before = DirectoryBytes(databaseDir.Path());
        {
            rtl::TFaultInjectingFileSystem faults;
            rtl::TScopedFileSystem scope(faults);
            faults.Arm(FaultAt(rtl::OpBit(rtl::TFsOp::Write), 1, error, "Hovory.DB"));
            Module().RepairKeyViolations("\"Hovory\",\"Linky\"");
            EXPECT_TRUE(faults.Struck());
        }
        EXPECT_EQ(Outcome("Hovory").Result, TResult::Error);
        EXPECT_NE(Outcome("Hovory").Reason.find(std::strerror(error)), std::string::npos) << Outcome("Hovory").Reason;
        ASSERT_EQ(uiServices.messages.size(), 1u);
        EXPECT_NE(uiServices.messages[0].text.find("Hovory"), std::string::npos);
        auto after = DirectoryBytes(databaseDir.Path());
        for (const char* name : {"Hovory.DB", "Hovory.PX", "Hovory.MB"}) EXPECT_EQ(after[name], before.at(name)) << name;
        EXPECT_FALSE(fs::exists(databaseDir / (Work("Hovory") + ".DB")));
        EXPECT_EQ(Outcome("Linky").Result, TResult::Repaired);
        EXPECT_EQ(Keys(lagging).size(), 50u);
    }

    // Another process holds the table for writing.
    fs::remove_all(databaseDir.Path());
    fs::create_directories(databaseDir.Path());
    uiServices.messages.clear();
    const std::string held = MakeCalls("Hovory", 200, 5);
    const auto before = DirectoryBytes(databaseDir.Path());
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        rtl::TAdvisoryLock lock = engine::paradox::LockTableForWriting(held);
        char c = 1;
        (void)!::write(fromChild[1], &c, 1);
        (void)!::read(toChild[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(fromChild[0], &c, 1), 1);
    rtl::SetLockWaitFunction([](int) {});  // waits pass no time: a held lock fails at once
    Module().RepairKeyViolations("\"Hovory\"");
    rtl::SetLockWaitFunction(nullptr);
    (void)!::write(toChild[1], &c, 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
    EXPECT_EQ(Outcome("Hovory").Result, TResult::Error);
    EXPECT_NE(Outcome("Hovory").Reason.find("process " + std::to_string(child)), std::string::npos)
        << Outcome("Hovory").Reason;
    EXPECT_EQ(uiServices.messages.size(), 1u);
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
}

// A table whose header misreads its blocks is not probed: its error is shown, not a byte of
// it changes, and the run goes on with the next table.
TEST_F(KeyRepair, ATableWithADamagedHeaderIsItsErrorAndTheRunGoesOn) {
    const std::string damaged = MakeCalls("Hovory", 200);
    const std::string lagging = MakeCalls("Linky", 50, 5);
    std::string bytes = FileBytes(damaged);
    ++bytes[0x03];  // the header size: block 1 now lies inside the first block's records
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    const auto before = DirectoryBytes(databaseDir.Path());
    Module().RepairKeyViolations("\"Hovory\",\"Linky\"");
    EXPECT_EQ(Outcome("Hovory").Result, TResult::Error);
    EXPECT_NE(Outcome("Hovory").Reason.find("is damaged"), std::string::npos) << Outcome("Hovory").Reason;
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_NE(uiServices.messages[0].text.find("Hovory"), std::string::npos);
    auto after = DirectoryBytes(databaseDir.Path());
    for (const char* name : {"Hovory.DB", "Hovory.PX", "Hovory.MB"}) EXPECT_EQ(after[name], before.at(name)) << name;
    EXPECT_EQ(Outcome("Linky").Result, TResult::Repaired);
    EXPECT_EQ(Keys(lagging).size(), 50u);
}

// The old table's files that the new one does not replace (its indexes) go first; a disk
// that refuses to delete them stops the swap, which is said, not passed over, and which the
// next run that writes the directory completes.
TEST_F(KeyRepair, ASwapWhoseDeletionOfTheOldIndexFailsIsReportedAndCompletedByTheNextOpen) {
    const std::string path = MakeCalls("Hovory", 300, 5);
    const auto rows = WithoutKeys(path);
    {
        rtl::TFaultInjectingFileSystem faults;
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(FaultAt(rtl::OpBit(rtl::TFsOp::Unlink), 1, EIO, "Hovory.PX", true));
        try {
            Module().RepairKeyViolations("\"Hovory\"");
            ADD_FAILURE() << "the failed swap was not reported";
        } catch (const rtl::EError& e) {
            EXPECT_NE(e.Message().find("Hovory"), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find(std::strerror(EIO)), std::string::npos) << e.Message();
        }
        EXPECT_TRUE(faults.Struck());
    }
    EXPECT_EQ(Outcome("Hovory").Result, TResult::Error);
    // The old table is still whole under its name, the change waits in its journal.
    EXPECT_TRUE(engine::paradox::JournalPending(databaseDir.Path(), "Hovory.DB"));
    EXPECT_TRUE(fs::exists(databaseDir / "Hovory.PX"));

    FreeModule();
    const auto held = Module().LockDatabaseDirectory();  // the next run that writes holds the directory
    EXPECT_FALSE(engine::paradox::JournalPending(databaseDir.Path(), "Hovory.DB"));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(databaseDir.Path())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"Hovory.DB", "Hovory.MB"}));
    EXPECT_EQ(WithoutKeys(path), rows);
    const auto keys = Keys(path);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], std::to_string(i + 1));
}

// A directory flush that fails at any point of the swap: the outcome says what the table in
// place is. "Unchanged" must mean the old data file byte for byte; "repaired" the new one.
TEST_F(KeyRepair, AFailedDirectoryFlushAnywhereInTheSwapIsReportedAsWhatHappened) {
    bool struck = true;
    int repairedAfterAFlushFailed = 0;
    for (std::uint64_t nth = 1; struck; ++nth) {
        FreeModule();
        for (const auto& e : fs::directory_iterator(databaseDir.Path())) fs::remove_all(e.path());
        const std::string path = MakeCalls("Hovory", 300, 5);
        const std::string before = FileBytes(path);
        {
            rtl::TFaultInjectingFileSystem faults;
            rtl::TScopedFileSystem scope(faults);
            faults.Arm(FaultAt(rtl::OpBit(rtl::TFsOp::SyncDirectory), nth, EIO));
            try {
                Module().RepairKeyViolations("\"Hovory\"");
            } catch (const rtl::EError&) {
            }
            struck = faults.Struck();
        }
        const auto& outcome = Outcome("Hovory");
        const bool pending = engine::paradox::JournalPending(databaseDir.Path(), "Hovory.DB");
        if (outcome.Result == TResult::Repaired) {
            EXPECT_FALSE(pending) << "flush " << nth;
            EXPECT_NE(FileBytes(path), before) << "flush " << nth << ": repaired, but the old table is in place";
            EXPECT_FALSE(fs::exists(databaseDir / (Work("Hovory") + ".DB"))) << "flush " << nth;
            if (struck) ++repairedAfterAFlushFailed;
        } else if (!pending) {
            EXPECT_EQ(FileBytes(path), before) << "flush " << nth << ": reported unchanged, but the table was replaced";
        }
    }
    // The flush after the journal's removal comes when the new table is already in place.
    EXPECT_GT(repairedAfterAFlushFailed, 0);
}

// Kills the repair of one lagging table at each of its disk changes; once the directory is
// opened again, the table is whole under its name (its old family or the new one), nothing
// of it under any other name, and the repair then finishes.
TEST_F(KeyRepair, AKillAtAnyStepLeavesTheTableWholeUnderItsNameOnceTheDirectoryIsOpened) {
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
        return module.KeyRepairOutcomes.at(0).Result;
    };
    reset();
    { database::TOrvDatabaseModule madeOnce; }  // its private directory exists from now on, as in every run below
    int swapsCut = 0;
    const std::uint64_t points = ForEachKillPoint(
        "key-violation repair of one table", reset,
        [&] {
            repair();
            return std::string();
        },
        [&](const TPointRun&) {
            swapsCut += engine::paradox::JournalPending(databaseDir.Path(), "Hovory.DB");
            {
                database::TOrvDatabaseModule opened;
                opened.OpenSourceByDirectory(databaseDir.Path());
                const auto held = opened.LockDatabaseDirectory();
            }
            EXPECT_FALSE(engine::paradox::JournalPending(databaseDir.Path(), "Hovory.DB"));
            std::set<std::string> family;
            for (const auto& e : fs::directory_iterator(databaseDir.Path()))
                if (e.path().stem() == "Hovory") family.insert(e.path().filename().string());
            const bool keyed = TParadoxTable::Open(databaseDir / "Hovory.DB")->Header().IsKeyed();
            const std::set<std::string> whole =
                keyed ? std::set<std::string>{"Hovory.DB", "Hovory.MB", "Hovory.PX"} : std::set<std::string>{"Hovory.DB", "Hovory.MB"};
            EXPECT_EQ(family, whole);
            EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), rows);
            if (!keyed) ExpectConsistent(databaseDir / "Hovory.DB");  // the old one's counter lags, as before
            EXPECT_NE(repair(), TResult::Error);
            EXPECT_EQ(WithoutKeys(databaseDir / "Hovory.DB"), rows);
            // Nothing of ours is left beside it.
            for (const auto& e : fs::directory_iterator(databaseDir.Path()))
                EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
        });
    EXPECT_GT(points, 10u);
    EXPECT_GE(swapsCut, 3) << "no kill fell inside the swap";
}

} // namespace
