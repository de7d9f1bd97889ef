// Zip backup and restore through the module: the archive holds the table files under their
// bare names, and a restore puts them straight back into the database directory.
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "tests/database/ModuleFixture.h"

namespace {

using Names = std::vector<std::string>;
using test::ReadAll;

using test::ArchiveNames;

class ZipBackup : public test::ModuleTest {
protected:
    void SetUp() override {
        test::ModuleTest::SetUp();
        test::CopySample("Rparadox/inst/extdata/biolife.db", databaseDir / "Tel_zoz.db");
        test::CopySample("Rparadox/inst/extdata/biolife.mb", databaseDir / "Tel_zoz.mb");
        databaseDir.WriteFile("Tel_zoz.PX", "primary index");
        databaseDir.WriteFile("notes.txt", "not a table file");
    }
};

TEST_F(ZipBackup, PacksTableFilesWithOrWithoutIndexesUnderBareNames) {
    Module().BackupToZip(other / "with.zip", true, 3);
    EXPECT_EQ(ArchiveNames(other / "with.zip"), (Names{"Tel_zoz.PX", "Tel_zoz.db", "Tel_zoz.mb"}));
    Module().BackupToZip(other / "sub/dir/without.zip", false, 3);
    EXPECT_EQ(ArchiveNames(other / "sub/dir/without.zip"), (Names{"Tel_zoz.db", "Tel_zoz.mb"}));
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_EQ(panel.Text(), "");
    EXPECT_NE(std::find(panel.texts.begin(), panel.texts.end(),
                        "Zálohovanie do: \"" + (other / "with.zip") + "\""),
              panel.texts.end());
}

TEST_F(ZipBackup, RestoreReplacesSameNamedFilesAndKeepsTheRest) {
    const std::string original = ReadAll(databaseDir / "Tel_zoz.db");
    Module().BackupToZip(other / "b.zip", true, 3);
    databaseDir.WriteFile("Tel_zoz.db", "damaged");
    rtl::DeleteFile(databaseDir / "Tel_zoz.mb");
    Module().RestoreFromZip(other / "b.zip");
    EXPECT_EQ(ReadAll(databaseDir / "Tel_zoz.db"), original);
    EXPECT_TRUE(rtl::FileExists(databaseDir / "Tel_zoz.mb"));
    EXPECT_TRUE(rtl::FileExists(databaseDir / "notes.txt"));
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_EQ(panel.Text(), "");
}

TEST_F(ZipBackup, MissingArchiveIsReportedByTheArchiverAndChangesNothing) {
    const Names before = rtl::ListFiles(databaseDir.Path(), "*");
    Module().RestoreFromZip(other / "missing.zip");
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Obnova súborov databázy");
    EXPECT_EQ(rtl::ListFiles(databaseDir.Path(), "*"), before);
    EXPECT_EQ(panel.Text(), "");
}

TEST_F(ZipBackup, EmptyNameDoesNothing) {
    Module().BackupToZip("", true, 3);
    EXPECT_TRUE(panel.texts.empty());
    EXPECT_TRUE(rtl::ListFiles(other.Path(), "*").empty());
}

} // namespace
