// A restore puts back only tables the backup can replace whole, as one change of the
// database: a backup missing a table's data or memo file is refused before anything is
// touched, a live table spelled in other letter case is another table and stays, a restore of
// some tables touches exactly those, and a failure or a waiting restore whose files changed
// since never leaves a table half old, half new.
#include "database/RestoreIntent.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "tests/database/CallTables.h"
#include "tests/database/ModuleFixture.h"

#include <fstream>

namespace {

using test::DirectoryBytes;
using test::ExpectSameFiles;
using test::ReadAll;
namespace fs = std::filesystem;

class RestoreWhole : public test::ModuleTest {
protected:
    void SetUp() override {
        test::ModuleTest::SetUp();
        test::MakeCallTable(databaseDir / "Hovory.DB", 30);
        test::MakeCallTable(databaseDir / "Firmy.DB", 10);
        fs::create_directories(backup);
        MakeOtherGeneration(backup, "Hovory", 45, 1000);
        MakeOtherGeneration(backup, "Firmy", 12, 2000);
    }

    // A table of other rows (memo texts included), so that a file of the other generation shows.
    static void MakeOtherGeneration(const std::string& dir, const std::string& table, std::uint64_t rows,
                                    std::uint64_t shift) {
        test::MakeTable(dir + "/" + table + ".DB", test::CallLayout(), rows,
                        [shift](std::uint64_t i, int f) { return test::CallValue(i + shift, f); });
    }

    // Runs `restore`, which must be refused before it touches anything; returns its message.
    std::string Refused(const std::function<void()>& restore) {
        const auto before = DirectoryBytes(databaseDir.Path());
        std::string message;
        try {
            restore();
            ADD_FAILURE() << "the restore was not refused";
        } catch (const rtl::EError& e) {
            message = e.what();
        }
        ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
        return message;
    }

    std::string backup = other / "zaloha";
};

TEST_F(RestoreWhole, ATableWithoutItsDataOrMemoFileInTheBackupIsRefusedByName) {
    // Firmy's data file is gone from the backup: its memo and index files are no table.
    fs::remove(backup + "/Firmy.DB");
    std::ofstream(backup + "/Firmy.PX") << "an index of nothing";
    std::string says = Refused([&] { Module().RestoreFromDirectory(backup, 3); });
    EXPECT_NE(says.find("\"Firmy\""), std::string::npos) << says;
    EXPECT_NE(says.find("(.db)"), std::string::npos) << says;
    EXPECT_NE(says.find("the database is unchanged"), std::string::npos) << says;
    EXPECT_FALSE(Module().LastRestore.Begun);

    // Hovory's memo file is missing: its memo cells would point into nothing.
    for (const char* name : {"Firmy.MB", "Firmy.PX"}) fs::remove(backup + "/" + name);
    MakeOtherGeneration(backup, "Firmy", 12, 2000);
    fs::remove(backup + "/Hovory.MB");
    says = Refused([&] { Module().RestoreFromDirectory(backup, 3); });
    EXPECT_NE(says.find("Hovory.DB has memo or blob fields"), std::string::npos) << says;

    // The same backup as an archive: refused after unpacking, the staging gone with it.
    FreeModule();
    {
        database::TOrvDatabaseModule packer;  // one module at a time
        packer.OpenSourceByDirectory(backup);
        packer.BackupToZip(other / "zaloha.zip", true, 3);
    }
    says = Refused([&] { Module().RestoreFromZip(other / "zaloha.zip"); });
    EXPECT_NE(says.find("Hovory.DB has memo or blob fields"), std::string::npos) << says;

    // Restoring only the whole table goes ahead, and touches nothing else.
    const std::string hovory = ReadAll(databaseDir / "Hovory.MB");
    Module().OnlyTables = {"firmy"};
    EXPECT_TRUE(Module().RestoreFromDirectory(backup, 3));
    EXPECT_TRUE(ReadAll(databaseDir / "Firmy.DB") == ReadAll(backup + "/Firmy.DB"));
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.MB") == hovory);
    EXPECT_EQ(Module().LastRestore.TablesRestored, (std::vector<std::string>{"Firmy"}));
    EXPECT_TRUE(Module().LastRestore.Completed);
}

// On a file system that tells letter cases apart, "hovory.db" beside "Hovory.DB" is a table
// of its own: the restore of "Hovory" leaves it, and says so.
TEST_F(RestoreWhole, ALiveTableSpelledInOtherLetterCaseIsAnotherTableAndStays) {
    // The engine makes no such twin; another program may have.
    test::MakeCallTable(other / "hovory.db", 7);
    for (const char* name : {"hovory.db", "hovory.mb"}) fs::copy_file(other / name, databaseDir / name);
    const std::string twinData = ReadAll(databaseDir / "hovory.db"), twinMemo = ReadAll(databaseDir / "hovory.mb");
    EXPECT_TRUE(Module().RestoreFromDirectory(backup, 3));
    EXPECT_TRUE(ReadAll(databaseDir / "hovory.db") == twinData);
    EXPECT_TRUE(ReadAll(databaseDir / "hovory.mb") == twinMemo);
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.DB") == ReadAll(backup + "/Hovory.DB"));
    ASSERT_EQ(Module().LastRestore.TablesLeft.size(), 1u);
    EXPECT_EQ(Module().LastRestore.TablesLeft[0].Table, "hovory");
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_NE(uiServices.messages[0].text.find("\"hovory\""), std::string::npos) << uiServices.messages[0].text;
}

TEST_F(RestoreWhole, ATableTheBackupDoesNotHoldIsRefusedBeforeAnythingChanges) {
    Module().OnlyTables = {"Hovory", "Linky"};
    const std::string says = Refused([&] { Module().RestoreFromDirectory(backup, 3); });
    EXPECT_NE(says.find("no table \"Linky\""), std::string::npos) << says;
}

// The disk fills up while the backup's files are staged: no table has changed, the message
// names the cause and says so, and nothing of the run is left in the database directory.
TEST_F(RestoreWhole, AFullDiskWhileStagingChangesNoTable) {
    const auto before = DirectoryBytes(databaseDir.Path());
    Module();
    std::string says;
    {
        const test::TScopedFault full(test::FaultAt(rtl::OpBit(rtl::TFsOp::CopyRange) | rtl::OpBit(rtl::TFsOp::Write), 3,
                                                    ENOSPC, databaseDir.Path(), true));
        try {
            Module().RestoreFromDirectory(backup, 3);
        } catch (const rtl::EError& e) {
            says = e.what();
        }
        EXPECT_TRUE(full.fs.Struck());
    }
    EXPECT_NE(says.find("No space left on device"), std::string::npos) << says;
    EXPECT_NE(says.find("Nothing was restored; the database is unchanged."), std::string::npos) << says;
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));
}

// A swap the file system refuses half way waits for the next run. When that run finds a table
// changed since (the billing application wrote it), it leaves that table as it stands and names
// it, and completes the others.
TEST_F(RestoreWhole, AWaitingRestoreLeavesATableThatChangedSinceAndCompletesTheRest) {
    const std::string firmyNow = ReadAll(databaseDir / "Firmy.DB");
    Module();
    {
        // Every rename into the database directory from the second one on fails.
        const test::TScopedFault refused(test::FaultAt(rtl::OpBit(rtl::TFsOp::Rename), 2, EIO, {}, true));
        try {
            Module().RestoreFromDirectory(backup, 3);
            ADD_FAILURE() << "the restore reported success";
        } catch (const rtl::EError& e) {
            EXPECT_NE(std::string(e.what()).find("The next run of the program finishes it."), std::string::npos)
                << e.what();
        }
    }
    EXPECT_TRUE(Module().LastRestore.Begun);
    EXPECT_FALSE(Module().LastRestore.TablesWaiting.empty());
    // Firmy is written anew before the next run.
    for (const char* name : {"Firmy.DB", "Firmy.MB", "Firmy.PX"}) fs::remove(databaseDir / name);
    test::MakeCallTable(databaseDir / "Firmy.DB", 3);
    const std::string firmyChanged = ReadAll(databaseDir / "Firmy.DB");
    ASSERT_FALSE(firmyChanged == firmyNow);
    FreeModule();
    { const rtl::TAdvisoryLock held = Module().LockDatabaseDirectory(); }
    EXPECT_TRUE(ReadAll(databaseDir / "Firmy.DB") == firmyChanged);
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.DB") == ReadAll(backup + "/Hovory.DB"));
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.MB") == ReadAll(backup + "/Hovory.MB"));
    const auto& completed = Module().InterruptedRestore;
    EXPECT_EQ(completed.TablesRestored, (std::vector<std::string>{"Hovory"}));
    ASSERT_EQ(completed.TablesLeft.size(), 1u);
    EXPECT_EQ(completed.TablesLeft[0].Table, "Firmy");
    EXPECT_FALSE(rtl::FileExists(databaseDir / database::RestoreIntentName));
    for (const auto& e : fs::directory_iterator(databaseDir.Path()))
        EXPECT_FALSE(e.path().filename().string().starts_with(".tablora-")) << e.path() << " left behind";
}

// The intent is input like any file of the directory: one whose steps reach outside its
// table or its staging directory is not carried out, and stays for a person to look at.
TEST_F(RestoreWhole, AnIntentNamingFilesOutsideItsTableIsNotCarriedOut) {
    fs::create_directories(databaseDir / ".tablora-restore-1.abcdef");
    std::ofstream(databaseDir / ".tablora-restore-1.abcdef/x") << "staged";
    std::ofstream(databaseDir / ".tablora-restore-1.abcdef/y") << "staged";
    std::ofstream(databaseDir / "Hovory.PX") << "the live index";
    const auto before = DirectoryBytes(databaseDir.Path());
    const std::string outside = other.WriteFile("outside.db", "not the database's");
    // Out of the directory, another table's file, a user's file named like the table, and a
    // table named as one and changing another.
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Hovory\tHovory.DB", std::string("../") + fs::path(other.Path()).filename().string() + "/outside.db"},
        {"Hovory\tHovory.DB", outside},
        {"Hovory\tHovory.DB", "Firmy.DB"},
        {"Hovory\tHovory.DB", "Hovory.xlsx"},
        {"Hovory\tFirmy.DB", "Firmy.DB"},
        // Hovory's index restored onto "HOVORY.PX" would stay beside the live "Hovory.PX".
        {"Hovory\tHovory.DB\nrename\ty\tHOVORY.PX\tr:6:0\t-", "Hovory.DB"}};
    for (const auto& [table, live] : cases) {
        std::ofstream(databaseDir / database::RestoreIntentName, std::ios::trunc)
            << "tablora restore intent 1\nstaging\t.tablora-restore-1.abcdef\nsource\tz\ntable\t" << table << "\n"
            << "rename\tx\t" << live << "\tr:6:0\t-\nend\n";
        const std::string intent = ReadAll(databaseDir / database::RestoreIntentName);
        FreeModule();
        uiServices.messages.clear();
        { const rtl::TAdvisoryLock held = Module().LockDatabaseDirectory(); }
        EXPECT_EQ(ReadAll(outside), "not the database's") << live;
        EXPECT_EQ(ReadAll(databaseDir / database::RestoreIntentName), intent) << live;
        auto now = DirectoryBytes(databaseDir.Path());
        now.erase(database::RestoreIntentName);
        ExpectSameFiles(before, now);
        ASSERT_EQ(uiServices.messages.size(), 1u) << live;
        EXPECT_NE(uiServices.messages[0].text.find("not written by this program"), std::string::npos);
    }
}

} // namespace
