// Owners, groups and permissions of what backups and restores write. The billing
// application's users must still open a restored table, whoever ran the restore; a backup
// must not let more people read the billing data than could read the tables.
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "tests/database/ModuleFixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Names = std::vector<std::string>;

struct TIdentity {
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool operator==(const TIdentity&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TIdentity& id) {
    return out << id.owner << ":" << id.group << " " << std::oct << id.mode << std::dec;
}

TIdentity IdentityOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

void Give(const std::string& path, uid_t owner, gid_t group, mode_t mode) {
    ASSERT_EQ(::chown(path.c_str(), owner, group), 0) << path;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

// The billing user and its group, as a root test sets them up; nobody the test runs as.
constexpr uid_t BillingUser = 4242;
constexpr gid_t BillingGroup = 4243;
constexpr gid_t SharedGroup = 4250;

class OwnersAndModes : public test::ModuleTest {
protected:
    void SetUp() override {
        test::ModuleTest::SetUp();
        previousUmask_ = ::umask(022);
        test::CopySample("Rparadox/inst/extdata/biolife.db", databaseDir / "Tel_zoz.db");
        test::CopySample("Rparadox/inst/extdata/biolife.mb", databaseDir / "Tel_zoz.mb");
        test::CopySample("paradoxdriver/src/test/resources/joins/fk4.db", databaseDir / "Hovory.db");
        test::CopySample("paradoxdriver/src/test/resources/joins/fk4.px", databaseDir / "Hovory.PX");
        for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*")) ::chmod((databaseDir / name).c_str(), 0644);
    }
    void TearDown() override {
        ::umask(previousUmask_);
        test::ModuleTest::TearDown();
    }
    void RequireRoot() {
        if (::geteuid() != 0) GTEST_SKIP() << "only root can give files to another user";
    }

private:
    mode_t previousUmask_ = 022;
};

// A restored file replaces a table the billing application has the rights to: it keeps that
// file's permissions, not the archive's, nor the restoring user's defaults.
TEST_F(OwnersAndModes, AZipRestoreKeepsThePermissionsOfEachFileItReplaces) {
    ::chmod((databaseDir / "Tel_zoz.db").c_str(), 0664);
    Module().BackupToZip(other / "b.zip", true, 3);  // stores 0664 and 0644
    ::chmod((databaseDir / "Tel_zoz.db").c_str(), 0600);
    ::chmod((databaseDir / "Hovory.db").c_str(), 0660);
    Module().RestoreFromZip(other / "b.zip");
    EXPECT_EQ(IdentityOf(databaseDir / "Tel_zoz.db").mode, 0600u);
    EXPECT_EQ(IdentityOf(databaseDir / "Hovory.db").mode, 0660u);
    EXPECT_TRUE(uiServices.messages.empty());
}

TEST_F(OwnersAndModes, AZipRestoreGivesReplacedFilesBackToTheirOwnerAndGroup) {
    RequireRoot();
    Module().BackupToZip(other / "b.zip", true, 3);  // stored as root's
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*"))
        Give(databaseDir / name, BillingUser, BillingGroup, 0660);
    Module().RestoreFromZip(other / "b.zip");
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*"))
        EXPECT_EQ(IdentityOf(databaseDir / name), (TIdentity{BillingUser, BillingGroup, 0660})) << name;
}

// A file the database did not have joins its table's siblings: their owner and permissions,
// and the directory's group, both for a zip and for a directory restore.
TEST_F(OwnersAndModes, ANewlyRestoredFileTakesItsSiblingsOwnerAndModeAndTheDirectorysGroup) {
    RequireRoot();
    Module().BackupToZip(other / "b.zip", true, 3);
    Module().BackupToDirectory(other / "dir", true, 3);
    ASSERT_EQ(::chown(databaseDir.Path().c_str(), 0, SharedGroup), 0);
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*"))
        Give(databaseDir / name, BillingUser, BillingGroup, 0640);
    Give(databaseDir / "Hovory.db", BillingUser + 1, BillingGroup, 0600);
    const TIdentity sibling{BillingUser + 1, SharedGroup, 0600};

    rtl::DeleteFile(databaseDir / "Hovory.PX");
    Module().RestoreFromZip(other / "b.zip");
    EXPECT_EQ(IdentityOf(databaseDir / "Hovory.PX"), sibling);
    EXPECT_EQ(IdentityOf(databaseDir / "Tel_zoz.db"), (TIdentity{BillingUser, BillingGroup, 0640}));

    rtl::DeleteFile(databaseDir / "Hovory.PX");
    Module().RestoreFromDirectory(other / "dir", 3);
    EXPECT_EQ(IdentityOf(databaseDir / "Hovory.PX"), sibling);
}

// Copies and archives are no more readable than the tables they hold.
TEST_F(OwnersAndModes, BackupsAreNoWiderThanTheirSources) {
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*")) ::chmod((databaseDir / name).c_str(), 0600);
    ::chmod((databaseDir / "Hovory.db").c_str(), 0640);
    other.WriteFile("dir/Tel_zoz.db", "an older copy, readable by all");
    ::chmod((other / "dir/Tel_zoz.db").c_str(), 0644);
    Module().BackupToDirectory(other / "dir", true, 3);
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*"))
        EXPECT_EQ(IdentityOf(other / ("dir/" + name)).mode, IdentityOf(databaseDir / name).mode) << name;

    // A new archive is private when any table in it is; else it is made as any new file.
    Module().BackupToZip(other / "private.zip", true, 3);
    EXPECT_EQ(IdentityOf(other / "private.zip").mode, 0600u);
    Module().BackupToZip(other / "memo.zip", false, 3);  // Hovory.db 0640 and Tel_zoz.* 0600
    EXPECT_EQ(IdentityOf(other / "memo.zip").mode, 0600u);
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*")) ::chmod((databaseDir / name).c_str(), 0640);
    Module().BackupToZip(other / "group.zip", true, 3);
    EXPECT_EQ(IdentityOf(other / "group.zip").mode, 0640u);
    for (const std::string& name : rtl::ListFiles(databaseDir.Path(), "*")) ::chmod((databaseDir / name).c_str(), 0666);
    Module().BackupToZip(other / "open.zip", true, 3);
    EXPECT_EQ(IdentityOf(other / "open.zip").mode, 0644u);  // the umask still applies

    // An archive that is replaced keeps its mode.
    ::chmod((other / "private.zip").c_str(), 0660);
    Module().BackupToZip(other / "private.zip", true, 3);
    EXPECT_EQ(IdentityOf(other / "private.zip").mode, 0660u);
    EXPECT_TRUE(uiServices.messages.empty());
}

TEST_F(OwnersAndModes, AReplacedArchiveKeepsItsOwnerAndGroup) {
    RequireRoot();
    Module().BackupToZip(other / "b.zip", true, 3);
    Give(other / "b.zip", BillingUser, BillingGroup, 0640);
    Module().BackupToZip(other / "b.zip", false, 3);
    EXPECT_EQ(IdentityOf(other / "b.zip"), (TIdentity{BillingUser, BillingGroup, 0640}));
    EXPECT_EQ(test::ArchiveNames(other / "b.zip"), (Names{"Hovory.db", "Tel_zoz.db", "Tel_zoz.mb"}));
}

} // namespace
