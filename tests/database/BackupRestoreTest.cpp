// Index deletion, directory backup and restore on a database directory holding real
// sample tables and the odd files a real directory collects.
#include "database/TableFileSet.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "tests/database/ModuleFixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Names = std::vector<std::string>;
using test::ReadAll;

Names Files(const std::string& dir) { return rtl::ListFiles(dir, "*"); }

class BackupRestore : public test::ModuleTest {
protected:
    void SetUp() override {
        test::ModuleTest::SetUp();
        const std::string joins = "paradoxdriver/src/test/resources/joins/";
        test::CopySample(joins + "fk4.db", databaseDir / "Hovory.db");
        test::CopySample(joins + "fk4.px", databaseDir / "Hovory.PX");
        test::CopySample(joins + "fk4.XG0", databaseDir / "Hovory.XG0");
        test::CopySample(joins + "fk4.YG0", databaseDir / "Hovory.YG0");
        test::CopySample(joins + "C.DB", databaseDir / "BRANY.DB");
        test::CopySample(joins + "C.X02", databaseDir / "BRANY.X02");
        test::CopySample(joins + "C.Y02", databaseDir / "BRANY.Y02");
        test::CopySample("Rparadox/inst/extdata/biolife.db", databaseDir / "Tel_zoz.db");
        test::CopySample("Rparadox/inst/extdata/biolife.mb", databaseDir / "Tel_zoz.mb");
        databaseDir.WriteFile("notes.xls", "a spreadsheet that looks like an index");
        databaseDir.WriteFile("fk4.val", "validity checks");
        databaseDir.WriteFile("PDOXUSRS.NET", "lock");
    }

    // The status texts shown, in order.
    const Names& Statuses() const { return panel.texts; }
};

TEST_F(BackupRestore, FindsTableFilesExtensionByExtensionIgnoringLetterCase) {
    const rtl::TStringList files = database::FindTableFiles(databaseDir.Path(), ".db,.x*");
    const std::string d = rtl::WithTrailingSeparator(databaseDir.Path());
    EXPECT_EQ(files.Items(), (Names{d + "BRANY.DB", d + "Hovory.db", d + "Tel_zoz.db", d + "BRANY.X02",
                                    d + "Hovory.XG0"}));
}

TEST_F(BackupRestore, DeleteIndexesRemovesEveryIndexAndNothingElse) {
    std::filesystem::create_directory(databaseDir / "old.xdir");  // a directory is never deleted
    Module().DeleteIndexes();
    EXPECT_EQ(Files(databaseDir.Path()),
              (Names{"BRANY.DB", "fk4.val", "Hovory.db", "notes.xls", "PDOXUSRS.NET", "Tel_zoz.db", "Tel_zoz.mb"}));
    EXPECT_TRUE(rtl::DirectoryExists(databaseDir / "old.xdir"));
    EXPECT_TRUE(Statuses().empty());
    EXPECT_TRUE(uiServices.messages.empty());
}

// Only the last extension tells an index: "Kurz.x.DB" is a data file however its inner
// extension reads, and "notes.xls" is a spreadsheet, no secondary index: only ".Xnn" / ".Ynn"
// (and ".XGn" / ".YGn") are.
TEST_F(BackupRestore, DataFilesWithAnIndexLikeInnerExtensionAreNeverTakenForIndexes) {
    const std::string joins = "paradoxdriver/src/test/resources/joins/";
    test::CopySample(joins + "C.DB", databaseDir / "Kurz.x.DB");
    test::CopySample("Rparadox/inst/extdata/biolife.db", databaseDir / "Stat.y2020.DB");
    test::CopySample("Rparadox/inst/extdata/biolife.mb", databaseDir / "Stat.y2020.MB");
    const std::string d = rtl::WithTrailingSeparator(databaseDir.Path());
    EXPECT_EQ(database::FindTableFiles(databaseDir.Path(), database::IndexFileExtensions).Items(),
              (Names{d + "Hovory.PX", d + "BRANY.X02", d + "Hovory.XG0", d + "BRANY.Y02",
                     d + "Hovory.YG0"}));
    const rtl::TStringList all = database::FindTableFiles(databaseDir.Path(), database::AllTableFileExtensions);
    for (const char* name : {"Kurz.x.DB", "Stat.y2020.DB", "Stat.y2020.MB"})
        EXPECT_EQ(std::count(all.begin(), all.end(), d + name), 1) << name;

    // Packed once each, so the backup with indexes succeeds.
    Module().BackupToZip(other / "z.zip", true, 3);
    EXPECT_TRUE(uiServices.messages.empty());
    const Names packed = test::ArchiveNames(other / "z.zip");
    EXPECT_EQ(std::count(packed.begin(), packed.end(), "Kurz.x.DB"), 1);
    EXPECT_EQ(packed.size(), 12u);  // not the spreadsheet

    // A backup without indexes takes them as the data files they are.
    Module().BackupToDirectory(other / "dir", false, 3);
    EXPECT_EQ(Files(other / "dir"),
              (Names{"BRANY.DB", "Hovory.db", "Kurz.x.DB", "Stat.y2020.DB", "Stat.y2020.MB", "tablora-backup.txt",
                     "Tel_zoz.db", "Tel_zoz.mb"}));

    // Deleting the indexes leaves them alone.
    Module().DeleteIndexes();
    EXPECT_EQ(Files(databaseDir.Path()), (Names{"BRANY.DB", "fk4.val", "Hovory.db", "Kurz.x.DB", "notes.xls", "PDOXUSRS.NET",
                                                "Stat.y2020.DB", "Stat.y2020.MB", "Tel_zoz.db", "Tel_zoz.mb"}));
}

TEST_F(BackupRestore, BackupWithoutIndexesCopiesOnlyDataAndMemoFiles) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    const std::string backup = other / "zaloha/dnes";
    Module().BackupToDirectory(backup, false, 3);
    EXPECT_EQ(Files(backup), (Names{"BRANY.DB", "Hovory.db", "tablora-backup.txt", "Tel_zoz.db", "Tel_zoz.mb"}));
    EXPECT_TRUE(ReadAll(backup + "/Tel_zoz.mb") == ReadAll(databaseDir / "Tel_zoz.mb"));
    EXPECT_EQ(Statuses(), (Names{"Zálohovanie do: \"" + backup + "\"", ""}));
    EXPECT_EQ(progress.Position(), 0);
}

TEST_F(BackupRestore, BackupWithIndexesAlsoCopiesEveryIndexLikeFileKeepingTimes) {
    ASSERT_TRUE(rtl::SetFileModificationTime(databaseDir / "Hovory.XG0", rtl::TFileTime{1'234'567'890, 987'654'321}));
    Module().BackupToDirectory(other.Path(), true, 3);
    EXPECT_EQ(Files(other.Path()), (Names{"BRANY.DB", "BRANY.X02", "BRANY.Y02", "Hovory.db", "Hovory.PX",
                                          "Hovory.XG0", "Hovory.YG0", "tablora-backup.txt", "Tel_zoz.db", "Tel_zoz.mb"}));
    for (const std::string& name : Files(other.Path())) {
        if (name == "tablora-backup.txt") continue;  // the backup's record of the files, its own
        EXPECT_TRUE(ReadAll(other / name) == ReadAll(databaseDir / name)) << name;
        EXPECT_EQ(rtl::GetFileModificationTime(other / name), rtl::GetFileModificationTime(databaseDir / name)) << name;
    }
}

// Reusing a backup directory: the indexes of a backup with indexes no longer fit the data
// of a later backup without them, and a restore would bring them back beside that data.
TEST_F(BackupRestore, ABackupWithoutIndexesRemovesTheStaleIndexesOfTheTablesItCopied) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    const std::string backup = other / "zaloha";
    Module().BackupToDirectory(backup, true, 3);
    other.WriteFile("zaloha/HOVORY.X03", "an index in other letter case");
    other.WriteFile("zaloha/Stary.db", "a table the database no longer has");
    other.WriteFile("zaloha/Stary.PX", "its index");
    test::CopySample("paradoxdriver/src/test/resources/joins/fk1.db", databaseDir / "Hovory.db");  // newer data

    panel.texts.clear();
    Module().BackupToDirectory(backup, false, 3);
    EXPECT_EQ(Files(backup), (Names{"BRANY.DB", "Hovory.db", "Stary.db", "Stary.PX", "tablora-backup.txt",
                                    "Tel_zoz.db", "Tel_zoz.mb"}));
    const Names removed{"Hovory.PX", "BRANY.X02", "HOVORY.X03", "Hovory.XG0", "BRANY.Y02", "Hovory.YG0"};
    EXPECT_EQ(Module().LastBackup.StaleIndexesRemoved, removed);
    EXPECT_NE(std::find(Statuses().begin(), Statuses().end(),
                        "Zo záložného adresára boli odstránené zastarané indexové súbory: 6"),
              Statuses().end());
    EXPECT_EQ(Statuses().back(), "");

    // The restore brings back the newer data without an index that lists other blocks.
    Module().DeleteIndexes();
    Module().RestoreFromDirectory(backup, 3);
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.db") == ReadAll(backup + "/Hovory.db"));
    EXPECT_FALSE(rtl::FileExists(databaseDir / "Hovory.PX"));
    // A backup with indexes removes nothing.
    Module().BackupToDirectory(backup, true, 3);
    EXPECT_TRUE(Module().LastBackup.StaleIndexesRemoved.empty());
    EXPECT_TRUE(rtl::FileExists(backup + "/Stary.PX"));
}

TEST_F(BackupRestore, HiddenAndReadOnlyTableFilesAreCopied) {
    databaseDir.WriteFile(".Skryta.db", "hidden");
    ::chmod((databaseDir / "BRANY.DB").c_str(), 0444);
    Module().BackupToDirectory(other.Path(), false, 3);
    EXPECT_EQ(ReadAll(other / ".Skryta.db"), "hidden");
    EXPECT_TRUE(ReadAll(other / "BRANY.DB") == ReadAll(databaseDir / "BRANY.DB"));
    // A second backup replaces the earlier copies without a question.
    databaseDir.WriteFile(".Skryta.db", "hidden, changed");
    Module().BackupToDirectory(other.Path(), false, 3);
    EXPECT_EQ(ReadAll(other / ".Skryta.db"), "hidden, changed");
}

// A table the backup holds comes back whole: its files replace the live ones, and a live index
// of that table the backup lacks goes, since it would not fit the restored data. Tables the
// backup does not hold, and files of no table, stay as they are.
TEST_F(BackupRestore, ARestoreBringsBackEachTableItHoldsWholeAndLeavesTheOthers) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    other.WriteFile("Hovory.db", "hovory from the backup");
    other.WriteFile("Hovory.PX", "index from the backup");
    other.WriteFile("Novy.db", "a table only the backup has");
    other.WriteFile("readme.txt", "not a table file");
    EXPECT_TRUE(Module().RestoreFromDirectory(other.Path(), 3));
    EXPECT_EQ(ReadAll(databaseDir / "Hovory.db"), "hovory from the backup");
    EXPECT_EQ(ReadAll(databaseDir / "Hovory.PX"), "index from the backup");
    EXPECT_EQ(ReadAll(databaseDir / "Novy.db"), "a table only the backup has");
    EXPECT_FALSE(rtl::FileExists(databaseDir / "readme.txt"));
    EXPECT_FALSE(rtl::FileExists(databaseDir / "Hovory.XG0"));
    EXPECT_FALSE(rtl::FileExists(databaseDir / "Hovory.YG0"));
    EXPECT_TRUE(ReadAll(databaseDir / "BRANY.DB") == ReadAll(test::Sample("paradoxdriver/src/test/resources/joins/C.DB")));
    EXPECT_TRUE(ReadAll(databaseDir / "BRANY.X02") == ReadAll(test::Sample("paradoxdriver/src/test/resources/joins/C.X02")));
    EXPECT_EQ(Files(databaseDir.Path()), (Names{"BRANY.DB", "BRANY.X02", "BRANY.Y02", "fk4.val", "Hovory.db", "Hovory.PX",
                                                "notes.xls", "Novy.db", "PDOXUSRS.NET", "Tel_zoz.db", "Tel_zoz.mb"}));
    EXPECT_EQ(Statuses(), (Names{"Obnova z: \"" + other.Path() + "\"", ""}));
    EXPECT_TRUE(uiServices.messages.empty());
}

// Two spellings of one table in one directory would make the engine see it twice: the
// restored file replaces the one of the same name in other letter case.
TEST_F(BackupRestore, RestoreReplacesTheFileSpelledInOtherLetterCase) {
    other.WriteFile("HOVORY.DB", "restored");
    other.WriteFile("brany.db", "restored too");
    Module().RestoreFromDirectory(other.Path(), 3);
    EXPECT_EQ(ReadAll(databaseDir / "Hovory.db"), "restored");
    EXPECT_EQ(ReadAll(databaseDir / "BRANY.DB"), "restored too");
    EXPECT_FALSE(rtl::FileExists(databaseDir / "HOVORY.DB"));
    EXPECT_FALSE(rtl::FileExists(databaseDir / "brany.db"));
    // The restored tables come without their indexes, which no longer fit them.
    EXPECT_EQ(Files(databaseDir.Path()),
              (Names{"BRANY.DB", "fk4.val", "Hovory.db", "notes.xls", "PDOXUSRS.NET", "Tel_zoz.db", "Tel_zoz.mb"}));
}

// An empty source (a share that is not mounted) is reported, not taken for a backup.
TEST_F(BackupRestore, ABackupOfADirectoryWithoutTableFilesIsReportedAndCopiesNothing) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    other.WriteFile("zaloha/Hovory.db", "last night's backup");
    for (const std::string& name : Files(databaseDir.Path())) rtl::DeleteFile(databaseDir / name);
    databaseDir.WriteFile("readme.txt", "not a table");
    try {
        Module().BackupToDirectory(other / "zaloha", true, 3);
        ADD_FAILURE() << "a backup of nothing was reported as success";
    } catch (const rtl::EError& e) {
        EXPECT_EQ(e.Message(), "V adresári databázy \"" + databaseDir.Path() +
                                   "\" sa nenašiel žiadny súbor tabuliek; do adresára \"" + (other / "zaloha") +
                                   "\" sa nič nekopírovalo.");
    }
    EXPECT_EQ(Files(other / "zaloha"), Names{"Hovory.db"});
    EXPECT_EQ(ReadAll(other / "zaloha/Hovory.db"), "last night's backup");
    EXPECT_FALSE(rtl::DirectoryExists(other / "nova"));
    EXPECT_THROW(Module().BackupToDirectory(other / "nova", false, 3), rtl::EError);
    EXPECT_FALSE(rtl::DirectoryExists(other / "nova"));
}

TEST_F(BackupRestore, NoDirectoryNamedMeansNothingDone) {
    Module().BackupToDirectory("", true, 3);
    EXPECT_TRUE(Statuses().empty());
    EXPECT_TRUE(uiServices.messages.empty());
}

// A restore that finds nothing to restore says so and reports that it restored nothing, so
// that its caller goes no further.
TEST_F(BackupRestore, ARestoreFromAMissingOrEmptyDirectorySaysSoAndChangesNothing) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    const auto before = Files(databaseDir.Path());
    other.WriteFile("prazdny/readme.txt", "no table here");
    const std::vector<std::pair<std::string, std::string>> cases{
        {other / "missing", "Adresár \"" + other / "missing" + "\" neexistuje."},
        {"", "Adresár zálohy nie je zadaný; nič sa neobnovilo."},
        {other / "prazdny",
         "V adresári \"" + other / "prazdny" + "\" sa nenašiel žiadny súbor tabuliek; nič sa neobnovilo."}};
    for (const auto& [directory, says] : cases) {
        uiServices.messages.clear();
        EXPECT_FALSE(Module().RestoreFromDirectory(directory, 3)) << directory;
        ASSERT_EQ(uiServices.messages.size(), 1u) << directory;
        EXPECT_EQ(uiServices.messages[0].caption, "Obnova súborov databázy");
        EXPECT_EQ(uiServices.messages[0].text, says);
        EXPECT_EQ(uiServices.messages[0].icon, ui::TMsgIcon::Error);
    }
    EXPECT_EQ(Files(databaseDir.Path()), before);
    EXPECT_TRUE(Statuses().empty());
}

// Copying a directory onto itself would empty every file it reads while it writes it.
TEST_F(BackupRestore, RefusesToCopyTheDatabaseOntoItselfBeforeTouchingAnyFile) {
    const auto before = rtl::GetFileModificationTime(databaseDir / "Hovory.db");
    std::filesystem::create_directory_symlink(databaseDir.Path(), other / "link");
    const std::string dirName = rtl::ExtractFileName(databaseDir.Path());
    for (const std::string& same : {databaseDir.Path(), databaseDir.Path() + "/", other / "link",
                                    databaseDir.Path() + "/../" + dirName}) {
        EXPECT_THROW(Module().BackupToDirectory(same, true, 3), rtl::EError) << same;
        EXPECT_THROW(Module().RestoreFromDirectory(same, 3), rtl::EError) << same;
    }
    EXPECT_EQ(rtl::GetFileModificationTime(databaseDir / "Hovory.db"), before);
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.db") == ReadAll(test::Sample("paradoxdriver/src/test/resources/joins/fk4.db")));
    EXPECT_EQ(Files(databaseDir.Path()).size(), 12u);
    EXPECT_TRUE(Statuses().empty());
}

// The first failing file ends the backup: the earlier backup stays whole, none of the files
// copied before it is put in, and the error carries the file's fixed text.
TEST_F(BackupRestore, ABackupFailingHalfwayKeepsTheEarlierBackupWhole) {
    other.WriteFile("Hovory.db", "yesterday's backup");
    Module();
    try {
        // BRANY.DB is copied, Hovory.db fails.
        const test::TScopedFault unreadable(test::FaultAt(rtl::OpBit(rtl::TFsOp::OpenRead), 1, EIO, databaseDir / "Hovory.db"));
        Module().BackupToDirectory(other.Path(), true, 3);
        ADD_FAILURE() << "the backup reported success";
    } catch (const rtl::EError& e) {
        EXPECT_EQ(e.what(), "Cannot open file " + databaseDir / "Hovory.db" + " (Input/output error)\r\n"
                            "The backup was not written; \"" + other.Path() + "\" is as it was before.");
    }
    EXPECT_EQ(ReadAll(other / "Hovory.db"), "yesterday's backup");
    EXPECT_EQ(Files(other.Path()), (Names{"Hovory.db"}));
    EXPECT_EQ(Statuses().back(), "Backing up to: \"" + other.Path() + "\"");  // left for the caller to reset
}

TEST_F(BackupRestore, ARestoreFailingToWriteLeavesTheDatabaseFileAsItWas) {
    const std::string good = ReadAll(databaseDir / "Hovory.db");
    other.WriteFile("Hovory.db", std::string(3 << 20, 'n'));
    Module();
    {
        // Halfway through Hovory.db the disk fills up, for the kernel copy and for plain writes.
        const test::TScopedFault unwritable(test::FaultAt(rtl::OpBit(rtl::TFsOp::CopyRange) | rtl::OpBit(rtl::TFsOp::Write),
                                                          2, ENOSPC, databaseDir.Path(), true));
        EXPECT_THROW(Module().RestoreFromDirectory(other.Path(), 3), rtl::EFileError);
        EXPECT_TRUE(unwritable.fs.Struck());
    }
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.db") == good);
    EXPECT_EQ(Files(databaseDir.Path()).size(), 12u);
}

// The directory lock is re-entrant inside the process (an operation may run inside another
// that holds it) and is let go when the operation ends.
TEST_F(BackupRestore, OperationsRunInsideAHoldOfTheirOwnProcessAndLetGoAfterwards) {
    {
        const rtl::TAdvisoryLock outer = Module().LockDatabaseDirectory();
        Module().BackupToDirectory(other.Path(), true, 3);
        Module().DeleteIndexes();
        Module().RestoreFromDirectory(other.Path(), 3);
    }
    EXPECT_TRUE(rtl::FileExists(databaseDir / "Hovory.PX"));
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            rtl::TAdvisoryLock::Acquire(databaseDir.Path(), rtl::TLockKind::Exclusive, "x", 0);
            ::_exit(0);
        } catch (...) {
            ::_exit(1);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the database directory stayed locked";
}

// An empty or unmounted database directory: deleting its indexes has nothing to work on, and
// must not end as if it had done its work.
TEST_F(BackupRestore, DeletingTheIndexesOfADirectoryWithoutTablesSaysNoTableWasFound) {
    const test::TScopedLanguage slovak(rtl::TLanguage::Slovak);  // the window's texts
    for (const std::string& name : Files(databaseDir.Path()))
        if (!rtl::SameTextAscii(rtl::ExtractFileExt(name), ".db")) continue;
        else rtl::DeleteFile(databaseDir / name);
    const auto before = Files(databaseDir.Path());
    Module().DeleteIndexes();
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Vymazanie indexov databázy");
    EXPECT_EQ(uiServices.messages[0].text,
              "V adresári databázy \"" + databaseDir.Path() + "\" sa nenašiel žiadny súbor tabuliek.");
    EXPECT_EQ(Files(databaseDir.Path()), before);
}

// A table file kept elsewhere and linked into the database is backed up with its bytes, by
// both kinds of backup, and under the link's name.
TEST_F(BackupRestore, BackupsFollowSymlinksToTableFiles) {
    const std::string elsewhere = other.WriteFile("elsewhere/Linky.db", "linked table");
    std::filesystem::create_symlink(elsewhere, databaseDir / "Linky.db");
    Module().BackupToDirectory(other / "dir", false, 3);
    EXPECT_EQ(ReadAll(other / "dir/Linky.db"), "linked table");
    EXPECT_FALSE(std::filesystem::is_symlink(other / "dir/Linky.db"));
    Module().BackupToZip(other / "z.zip", false, 3);
    const Names packed = test::ArchiveNames(other / "z.zip");
    EXPECT_EQ(std::count(packed.begin(), packed.end(), "Linky.db"), 1);
    EXPECT_TRUE(uiServices.messages.empty());
}

TEST_F(BackupRestore, RefusesCopyModesItDoesNotKnow) {
    EXPECT_THROW(Module().BackupToDirectory(other.Path(), true, 1), rtl::EError);
    EXPECT_TRUE(Files(other.Path()).empty());
}

} // namespace
