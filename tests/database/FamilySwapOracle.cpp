// The key repair's swap and the restore of one table, failing part way on a disk that goes on
// failing: the billing application reads the family as the disk has it, with no journal
// completed. Read by hand and by pxlib, the data file decides: the old table with its own
// memo and index, or the new family whole, never new rows beside an old companion.
#include "CallTables.h"
#include "ModuleFixture.h"
#include "platform/engine/ParadoxWriters.h"
#include "tests/support/FaultPoints.h"
#include "tests/support/ForeignReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

void CopyFlatDirectory(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
}

// True when the call first refused (as the fault injector names it) is a rename onto `name`
// in the directory `dir`.
bool RenameOnto(const std::string& struckAt, const std::string& dir, const std::string& name) {
    const auto arrow = struckAt.find(" -> ");
    if (struckAt.rfind("rename ", 0) != 0 || arrow == std::string::npos) return false;
    const fs::path target = struckAt.substr(arrow + 4);
    std::error_code ec;
    return target.filename() == name && fs::equivalent(target.parent_path(), dir, ec);
}

// Every member is one generation's file byte for byte, whichever generation the data file is.
void ExpectEachMemberOldOrNew(const std::string& dir, const std::map<std::string, std::string>& before,
                              const std::map<std::string, std::string>& after) {
    for (const auto& [name, bytes] : MemberBytes(dir, "Hovory")) {
        const bool old = before.count(name) && WithoutUpdateTime(before.at(name)) == WithoutUpdateTime(bytes);
        const bool fresh = after.count(name) && WithoutUpdateTime(after.at(name)) == WithoutUpdateTime(bytes);
        EXPECT_TRUE(old || fresh) << name << " is a file of neither generation";
    }
}

class FamilySeenFromOutside : public ModuleTest {
protected:
    std::string pristine = other / "pristine";
    std::string database = databaseDir.Path();

    // A module opened on the database directory on a sound disk, as the run that then meets
    // the failing one; `run` gets it and returns what it reported ("" for done).
    using TRun = std::function<std::string(database::TOrvDatabaseModule&)>;

    // Counts the disk changes of a clean run of `run` and returns the family it leaves.
    std::pair<std::uint64_t, std::map<std::string, std::string>> CleanRun(const std::function<void()>& reset,
                                                                            const TRun& run) {
        reset();
        { database::TOrvDatabaseModule madeOnce; }  // its private directory exists from now on
        rtl::TFaultInjectingFileSystem counter;
        auto module = std::make_unique<database::TOrvDatabaseModule>();
        module->OpenSourceByDirectory(database);
        EXPECT_EQ(RunUnder(counter, rtl::TFault{}, [&] {
                      const std::string reported = run(*module);
                      module.reset();
                      return reported;
                  }),
                  "");
        return {counter.Counted(), MemberBytes(database, "Hovory")};
    }

    // Runs `run` with every disk change from the `point`th on failing with EIO, the module
    // going with the failing disk; returns what was reported and the call first refused.
    std::pair<std::string, std::string> FailingFrom(std::uint64_t point, const TRun& run) {
        auto module = std::make_unique<database::TOrvDatabaseModule>();
        module->OpenSourceByDirectory(database);
        rtl::TFaultInjectingFileSystem failing;
        const std::string reported = RunUnder(failing, rtl::TFault{0, point, EIO, false, {}, true}, [&] {
            std::string r = run(*module);
            module.reset();
            return r;
        });
        return {reported, failing.StruckAt()};
    }
};

// The old family keeps a secondary index and a memo file that the new one writes afresh, so
// that each companion tells its generation.
TEST_F(FamilySeenFromOutside, AKeyRepairSwapThatKeepsFailingLeavesTheOldTableOrTheNewOneWhole) {
    fs::create_directories(pristine);
    const std::string table = MakeCallTable(pristine + "/Hovory.db", 60);
    {
        // A row with a long memo written, then deleted: the old memo file keeps its freed
        // blocks, the new one is written without them.
        engine::TTable t;
        t.TableName = table;
        t.Open();
        t.Append();
        t.SetFieldByName("Notes", std::string(6000, 'n'));
        t.Post();
        t.Close();
        t.Open();
        t.First();
        for (int i = 0; i < 60; ++i) t.Next();
        t.Delete();
        t.Close();
    }
    StoreAutoIncrement(table, TParadoxTable::Open(table)->Header().AutoIncrement, 4);  // lagging: repaired
    CreateSecondaryIndex(pristine + "/Hovory.db", {"Small"}, "", other.Path());
    const auto before = MemberBytes(pristine, "Hovory");
    ASSERT_EQ(before.size(), 5u) << "the .db, .mb, .px and a secondary index of two files";
    auto reset = [&] { CopyFlatDirectory(pristine, database); };
    const TRun repair = [](database::TOrvDatabaseModule& m) {
        m.RepairKeyViolations("\"Hovory\"");
        const auto& outcome = m.KeyRepairOutcomes.at(0);
        return outcome.Result == TResult::Repaired ? std::string() : "not repaired: " + outcome.Reason;
    };
    const auto [points, after] = CleanRun(reset, repair);
    ASSERT_EQ(after.size(), 2u) << "the new table is unkeyed: its .db and .mb only";
    ASSERT_TRUE(after.at("Hovory.db") != before.at("Hovory.db"));
    ASSERT_TRUE(after.at("Hovory.mb") != before.at("Hovory.mb")) << "the memo files must tell their generation";

    int oldSeen = 0, newSeen = 0, mixedSeen = 0;
    for (std::uint64_t point = 1; point <= points; ++point) {
        reset();
        const auto [reported, struckAt] = FailingFrom(point, repair);
        SCOPED_TRACE("every change from point " + std::to_string(point) + " on fails (" + struckAt + ")");
        // Known limit: refused at the data file's rename, the new memo file already stands
        // beside the old data file until the next run completes the journal.
        const bool dataRenameRefused = RenameOnto(struckAt, database, "Hovory.db");
        const std::vector<std::string> keptWithOldData =
            dataRenameRefused ? std::vector<std::string>{} : std::vector<std::string>{"Hovory.mb"};
        const bool isNew = ExpectOldOrNewFamily(database, "Hovory", before, after, keptWithOldData);
        ExpectEachMemberOldOrNew(database, before, after);
        if (!isNew) {
            EXPECT_NE(reported, "") << "the repair was reported done";
            // The old rows still read whole, by pxlib as by hand.
            EXPECT_EQ(ReadTableWithPxlib(database + "/Hovory.db").size(), 60u);
            EXPECT_TRUE(ReadTableByHand(database + "/Hovory.db").Faults.empty());
            if (dataRenameRefused && MemberBytes(database, "Hovory").at("Hovory.mb") == after.at("Hovory.mb"))
                ++mixedSeen;
        }
        (isNew ? newSeen : oldSeen)++;
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
    EXPECT_EQ(mixedSeen, 1) << "the old data file beside the new memo file, at the data file's rename only";
}

// The live table is a later generation than the backup: more rows, its own memo and index
// files, and a secondary index the backup does not hold (the restore removes it).
TEST_F(FamilySeenFromOutside, ARestoreOfOneTableThatKeepsFailingLeavesTheOldTableOrTheRestoredOneWhole) {
    const std::string backup = other / "zaloha";
    fs::create_directories(backup);
    MakeCallTable(backup + "/Hovory.db", 30);
    fs::create_directories(pristine);
    MakeCallTable(pristine + "/Hovory.db", 45);
    CreateSecondaryIndex(pristine + "/Hovory.db", {"Small"}, "", other.Path());
    const auto before = MemberBytes(pristine, "Hovory");
    const auto restored = MemberBytes(backup, "Hovory");
    ASSERT_EQ(before.size(), 5u);
    ASSERT_EQ(restored.size(), 3u);
    for (const auto& [name, bytes] : restored) ASSERT_TRUE(before.at(name) != bytes) << name;
    auto reset = [&] { CopyFlatDirectory(pristine, database); };
    const TRun restore = [&](database::TOrvDatabaseModule& m) {
        return m.RestoreFromDirectory(backup, 3) ? std::string() : std::string("nothing restored");
    };
    const auto [points, after] = CleanRun(reset, restore);
    EXPECT_TRUE(after == restored) << "the clean restore left another family than the backup holds";

    int oldSeen = 0, newSeen = 0, mixedSeen = 0;
    for (std::uint64_t point = 1; point <= points; ++point) {
        reset();
        const auto [reported, struckAt] = FailingFrom(point, restore);
        SCOPED_TRACE("every change from point " + std::to_string(point) + " on fails (" + struckAt + ")");
        // Known limit: the restored companions are renamed in before the data file, so a
        // refusal at the index's or the data file's rename leaves new ones beside the old rows.
        const bool companionsMoved =
            RenameOnto(struckAt, database, "Hovory.px") || RenameOnto(struckAt, database, "Hovory.db");
        const std::vector<std::string> keptWithOldData =
            companionsMoved ? std::vector<std::string>{} : std::vector<std::string>{"Hovory.mb", "Hovory.px"};
        const bool isNew = ExpectOldOrNewFamily(database, "Hovory", before, after, keptWithOldData);
        ExpectEachMemberOldOrNew(database, before, after);
        if (!isNew) {
            EXPECT_NE(reported, "") << "the restore was reported done";
            EXPECT_EQ(ReadTableWithPxlib(database + "/Hovory.db").size(), 45u);
            EXPECT_TRUE(ReadTableByHand(database + "/Hovory.db").Faults.empty());
            if (companionsMoved && MemberBytes(database, "Hovory").at("Hovory.mb") == after.at("Hovory.mb")) ++mixedSeen;
        }
        (isNew ? newSeen : oldSeen)++;
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
    EXPECT_EQ(mixedSeen, 2) << "the old data file beside restored companions, at the index's and the data file's rename only";
}

} // namespace
