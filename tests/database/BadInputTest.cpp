// What the module does with the inputs a damaged or odd installation hands it: a database
// directory that is missing, a file, a symlink loop or unreadable; loops inside it; targets
// that are read-only or full; paths with blanks, Slovak letters and over 300 characters;
// tables whose names differ only in letter case; headers with a field at or past its limit.
// Each gets a message that says what is wrong, and nothing is changed that should not be.
#include "CallTables.h"
#include "ModuleFixture.h"
#include "platform/rtl/FileListing.h"
#include "tests/support/HeaderLimits.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;
using TResultOf = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

// The message of what `op` raised, or "" when it returned.
std::string ErrorOf(const std::function<void()>& op) {
    try {
        op();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

class ModuleBadInput : public ModuleTest {
protected:
    // A module opened on `directory` (the fixture's own module works on databaseDir).
    std::unique_ptr<database::TOrvDatabaseModule> OpenOn(const std::string& directory) {
        auto module = std::make_unique<database::TOrvDatabaseModule>();
        module->OpenSourceByDirectory(directory);
        return module;
    }
};

TEST_F(ModuleBadInput, ADatabaseDirectoryThatIsNoDirectoryIsNamedWithWhy) {
    const std::string file = other.WriteFile("plain", "x");
    fs::create_symlink(other / "loop", other / "loop");
    const std::vector<std::pair<std::string, std::string>> cases{
        {other / "missing", "does not exist"},
        {file, "is not a directory"},
        {other / "loop", "cannot be reached (Too many levels of symbolic links)"},
    };
    for (const auto& [path, why] : cases) {
        database::TOrvDatabaseModule module;
        EXPECT_EQ(ErrorOf([&] { module.OpenSourceByDirectory(path); }),
                  "The database directory \"" + path + "\" " + why + ".");
    }
    EXPECT_EQ(ReadAll(file), "x");
}

// A directory that cannot be listed might hold any table: no backup, restore or deletion
// may take it for an empty one and report success.
TEST_F(ModuleBadInput, AnUnreadableDirectoryIsAnErrorNeverAnEmptyOne) {
    MakeCallTable(databaseDir / "Hovory.DB", 30);
    fs::create_directories(other / "zaloha");
    MakeCallTable(other / "zaloha/Hovory.DB", 5);
    const TFiles database = DirectoryBytes(databaseDir.Path()), backup = DirectoryBytes(other / "zaloha");
    Module();
    auto failsListing = [&](const std::string& directory, const std::function<void()>& op) {
        TScopedFault unreadable(FaultAt(rtl::OpBit(rtl::TFsOp::List), 1, EACCES, directory, true));
        const std::string error = ErrorOf(op);
        EXPECT_EQ(error.rfind("Cannot list the directory \"" + directory, 0), 0u) << error;
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    };
    failsListing(databaseDir.Path(), [&] { Module().BackupToDirectory(other / "zaloha", true, 3); });
    failsListing(databaseDir.Path(), [&] { Module().BackupToZip(other / "z.zip", true, 3); });
    failsListing(databaseDir.Path(), [&] { Module().DeleteIndexes(); });
    failsListing(other / "zaloha", [&] { Module().RestoreFromDirectory(other / "zaloha", 3); });
    ExpectSameFiles(database, DirectoryBytes(databaseDir.Path()));
    ExpectSameFiles(backup, DirectoryBytes(other / "zaloha"));
    EXPECT_FALSE(fs::exists(other / "z.zip"));
}

// Symlinks that lead nowhere, loops included, are no table files of the directory: every
// operation passes them by and leaves them as they are.
TEST_F(ModuleBadInput, SymlinkLoopsInTheDatabaseDirectoryArePassedBy) {
    MakeCallTable(databaseDir / "Hovory.DB", 20, 3);
    fs::create_symlink("Linky.DB", databaseDir / "Linky.DB");  // a loop under a table's name
    fs::create_symlink("b.PX", databaseDir / "a.PX");
    fs::create_symlink("a.PX", databaseDir / "b.PX");
    fs::create_directory_symlink(".", databaseDir / "sub");
    std::string all, fit;
    Module().LoadTableLists(all, fit);
    EXPECT_EQ(rtl::SplitCommaText(all), std::vector<std::string>{"Hovory"});
    Module().BackupToDirectory(other / "zaloha", true, 3);
    EXPECT_EQ(rtl::ListFiles(other / "zaloha", "*"),
              (std::vector<std::string>{"Hovory.DB", "Hovory.MB", "Hovory.PX", "tablora-backup.txt"}));
    Module().BackupToZip(other / "z.zip", true, 3);
    EXPECT_EQ(ArchiveNames(other / "z.zip"), (std::vector<std::string>{"Hovory.DB", "Hovory.MB", "Hovory.PX"}));
    Module().RepairKeyViolations("\"Hovory\",\"Linky\"");
    Module().DeleteIndexes();
    EXPECT_TRUE(uiServices.messages.empty());
    for (const char* link : {"Linky.DB", "a.PX", "b.PX", "sub"}) EXPECT_TRUE(fs::is_symlink(databaseDir / link)) << link;
}

// A backup onto a read-only or full disk says so and leaves yesterday's backup whole.
TEST_F(ModuleBadInput, ReadOnlyAndFullTargetsAreToldAndTheOldBackupStays) {
    MakeCallTable(databaseDir / "Hovory.DB", 400);
    fs::create_directories(other / "zaloha");
    MakeCallTable(other / "zaloha/Hovory.DB", 5);
    const TFiles old = DirectoryBytes(other / "zaloha");
    Module();
    {
        // The staging directory beside the backup takes the writes.
        TScopedFault readOnly(FaultAt(rtl::OpBit(rtl::TFsOp::OpenWrite), 1, EROFS, other.Path(), true));
        EXPECT_NE(ErrorOf([&] { Module().BackupToDirectory(other / "zaloha", true, 3); }).find("Read-only file system"),
                  std::string::npos);
    }
    {
        TScopedFault full(FaultAt(rtl::OpBit(rtl::TFsOp::Write) | rtl::OpBit(rtl::TFsOp::CopyRange), 1, ENOSPC,
                                  other.Path(), true));
        EXPECT_NE(ErrorOf([&] { Module().BackupToDirectory(other / "zaloha", true, 3); }).find("No space left on device"),
                  std::string::npos);
    }
    ExpectSameFiles(old, DirectoryBytes(other / "zaloha"));
    {
        TScopedFault full(FaultAt(rtl::OpBit(rtl::TFsOp::Write), 1, ENOSPC, other / "zaloha", true));
        Module().BackupToZip(other / "zaloha/Backup.zip", true, 3);
    }
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].text.rfind("The archive \"" + other / "zaloha/Backup.zip" + "\"\r\ncould not be written: ", 0), 0u);
    EXPECT_NE(uiServices.messages[0].text.find("No space left on device"), std::string::npos);
    ExpectSameFiles(old, DirectoryBytes(other / "zaloha"));
}

// A real small disk that fills up in the middle of the backup.
TEST_F(ModuleBadInput, ARealFullDiskFailsTheBackupAndKeepsTheOldOne) {
    TempDir mountPoint;
    if (::mount("tablora-test", mountPoint.Path().c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    MakeCallTable(databaseDir / "Hovory.DB", 3000);
    MakeCallTable(mountPoint / "Hovory.DB", 5);
    const TFiles old = DirectoryBytes(mountPoint.Path());
    const std::string error = ErrorOf([&] { Module().BackupToDirectory(mountPoint.Path(), true, 3); });
    const TFiles after = DirectoryBytes(mountPoint.Path());
    ::umount(mountPoint.Path().c_str());
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    ExpectSameFiles(old, after);
}

TEST_F(ModuleBadInput, PathsWithBlanksSlovakLettersAndOver300Characters) {
    std::string deep = other / "Databáza účtovníctva/Ústredňa č. 1";
    while (deep.size() < 320) deep += "/Hovory za mesiac ďalší";
    const std::string backup = deep + "/zálohy/Záloha z piatku";
    fs::create_directories(deep);
    MakeCallTable(deep + "/Hovory.DB", 40, 3);
    MakeCallTable(deep + "/Tel_zoz.DB", 10);
    const auto rows = WithoutKeys(deep + "/Hovory.DB");
    auto module = OpenOn(deep);
    module->BackupToDirectory(backup, true, 3);
    module->BackupToZip(backup + "/Záloha.zip", true, 3);
    module->RepairKeyViolations("\"Hovory\",\"Tel_zoz\"");
    EXPECT_EQ(WithoutKeys(deep + "/Hovory.DB"), rows);
    module->DeleteIndexes();
    module->RestoreFromDirectory(backup, 3);
    EXPECT_EQ(WithoutKeys(deep + "/Hovory.DB"), rows);
    module->RestoreFromZip(backup + "/Záloha.zip");
    EXPECT_EQ(WithoutKeys(deep + "/Hovory.DB"), rows);
    EXPECT_TRUE(uiServices.messages.empty());
}

// "Brany.DB" beside "BRANY.db" are two tables here, though other systems would take them for
// one: neither is changed, since their companions cannot be told apart, and a backup keeps
// both, even onto a target that holds the name in a third spelling.
TEST_F(ModuleBadInput, TablesWhoseNamesDifferOnlyInLetterCase) {
    MakeCallTable(databaseDir / "Brany.DB", 20, 3);  // its counter lags
    fs::create_directories(other / "made");
    MakeCallTable(other / "made/BRANY.db", 7);
    fs::copy_file(other / "made/BRANY.db", databaseDir / "BRANY.db");
    fs::copy_file(other / "made/BRANY.mb", databaseDir / "BRANY.mb");
    fs::copy_file(other / "made/BRANY.px", databaseDir / "BRANY.px");
    const TFiles before = DirectoryBytes(databaseDir.Path());
    std::string all, fit;
    Module().LoadTableLists(all, fit);
    EXPECT_EQ(rtl::SplitCommaText(all), (std::vector<std::string>{"BRANY", "Brany"}));
    const std::string error = ErrorOf([&] { Module().RepairKeyViolations("\"Brany\""); });
    EXPECT_NE(error.find("differs from it only in letter case"), std::string::npos) << error;
    ExpectSameFiles(before, DirectoryBytes(databaseDir.Path()));

    other.WriteFile("zaloha/brany.db", "an older backup in a third spelling");
    Module().BackupToDirectory(other / "zaloha", true, 3);
    const TFiles backup = DirectoryBytes(other / "zaloha");
    for (const auto& [name, bytes] : before) EXPECT_TRUE(backup.count(name) && backup.at(name) == bytes) << name;
}

TEST_F(ModuleBadInput, HeadersAtAndPastTheirLimits) {
    for (const THeaderLimit& limit : HeaderLimits()) {
        SCOPED_TRACE(limit.Name);
        fs::remove_all(databaseDir.Path());
        fs::create_directories(databaseDir.Path());
        uiServices.messages.clear();
        MakeCallTable(databaseDir / "Hovory.DB", 10);
        MakeCallTable(databaseDir / "Zly.DB", 30, 3);  // its counter lags: a repair would rewrite it
        PatchHeader(databaseDir / "Zly.DB", limit);
        const TFiles before = DirectoryBytes(databaseDir.Path());
        auto module = OpenOn(databaseDir.Path());
        std::string all, fit;
        module->LoadTableLists(all, fit);
        EXPECT_EQ(rtl::SplitCommaText(all), (std::vector<std::string>{"Hovory", "Zly"}));
        if (!limit.Opens) {
            ASSERT_EQ(uiServices.messages.size(), 1u);
            EXPECT_NE(uiServices.messages[0].text.find(limit.Says), std::string::npos) << uiServices.messages[0].text;
        }
        const std::string error = ErrorOf([&] { module->RepairKeyViolations("\"Zly\""); });
        const auto& outcome = module->KeyRepairOutcomes.at(0);
        // Told (an error, a copy that failed) or left alone as no candidate; never rewritten.
        EXPECT_TRUE(!error.empty() || outcome.Result != TResultOf::Repaired) << error;
        if (!error.empty()) {
            EXPECT_NE(error.find(limit.Opens ? "damaged" : limit.Says), std::string::npos) << error;
        }
        const TFiles after = DirectoryBytes(databaseDir.Path());
        for (const auto& [name, bytes] : before) {
            if (name.rfind("Zly.", 0) != 0) {
                EXPECT_TRUE(after.at(name) == bytes) << name;
            }
        }
        EXPECT_TRUE(after.at("Zly.DB").substr(0x80) == before.at("Zly.DB").substr(0x80)) << "Zly's rows were rewritten";
        module->BackupToDirectory(other / "zaloha", true, 3);
        EXPECT_TRUE(ReadAll(other / "zaloha/Zly.DB") == after.at("Zly.DB"));
    }
}

// The widest table there is goes through every operation whole.
TEST_F(ModuleBadInput, ATableOf255FieldsGoesThroughEveryOperation) {
    MakeWidestTable(databaseDir / "Siroka.DB", 60);
    StoreAutoIncrement(databaseDir / "Siroka.DB", 60, 4);
    const auto rows = WithoutKeys(databaseDir / "Siroka.DB");
    ASSERT_EQ(TParadoxTable::Open(databaseDir / "Siroka.DB")->Header().Fields.size(), 255u);
    Module().BackupToZip(other / "z.zip", true, 3);
    Module().RepairKeyViolations("\"Siroka\"");
    EXPECT_EQ(Module().KeyRepairOutcomes.at(0).Result, TResultOf::Repaired) << Module().KeyRepairOutcomes.at(0).Reason;
    EXPECT_EQ(WithoutKeys(databaseDir / "Siroka.DB"), rows);
    Module().RestoreFromZip(other / "z.zip");
    EXPECT_EQ(WithoutKeys(databaseDir / "Siroka.DB"), rows);
    EXPECT_TRUE(uiServices.messages.empty());
}

} // namespace
