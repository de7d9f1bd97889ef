// The rebuild's backup of a family: further names of the members' own files where the file
// system allows, real copies where it does not or where a member has other names already,
// and copies of their own made from linked ones on demand.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/rtl/FaultInjection.h"
#include "platform/tutil/FamilyBackup.h"
#include "platform/tutil/UtilityFailure.h"

namespace {

using namespace test;
namespace fs = std::filesystem;

bool SameFile(const std::string& a, const std::string& b) {
    const struct stat x = StatOf(a), y = StatOf(b);
    return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool LinkAny(const std::string&) { return true; }

tutil::TBackupFile& DataFile(std::vector<tutil::TBackupFile>& files) {
    for (auto& f : files)
        if (fs::path(f.Path).filename() == "BACKUP.DB") return f;
    throw std::runtime_error("no BACKUP.DB");
}

class FamilyBackup : public ::testing::Test {
protected:
    void SetUp() override {
        table_ = MakeBrokenCallsTable(dir_.Path());
        family_ = FamilyBytes(table_);
        ASSERT_EQ(family_.size(), 6u);  // .DB .MB .PX .X?? .Y?? .VAL
        target_ = dir_ / "Rekonstrukcia/Calls";
        fs::create_directories(target_);
    }
    std::map<std::string, std::string> Backed(const std::vector<tutil::TBackupFile>& files) const {
        std::map<std::string, std::string> out;
        for (const auto& f : files) {
            EXPECT_EQ(fs::path(f.Path).parent_path(), fs::path(target_));
            EXPECT_EQ(fs::path(f.Path).stem(), "BACKUP");
            out[fs::path(f.Path).extension().string()] = ReadBytes(f.Path);
        }
        return out;
    }

    TempDir dir_;
    std::string table_, target_;
    std::map<std::string, std::string> family_;
};

TEST_F(FamilyBackup, EachMemberIsLinkedOnTheSameFileSystem) {
    const auto files = tutil::BackupFamily(table_, target_, "BACKUP", LinkAny);
    EXPECT_EQ(Backed(files), family_);
    for (const auto& f : files) {
        EXPECT_TRUE(f.Linked) << f.Path;
        EXPECT_TRUE(SameFile(f.Member, f.Path)) << f.Path;
        EXPECT_EQ(StatOf(f.Path).st_nlink, 2u) << f.Path;
        EXPECT_EQ(fs::path(f.Path).extension().string(), rtl::UpperAscii(fs::path(f.Member).extension().string()));
    }
}

// A file system that cannot link there (another device, no hard links, too many names, a
// kernel that refuses links to files of others) gets real copies, with their times kept;
// any other failure of the link is a failed backup that leaves nothing behind.
TEST_F(FamilyBackup, CopiedWhenTheFileSystemCannotLinkAndRefusedOtherwise) {
    for (const int error : {EXDEV, EPERM, EMLINK, EOPNOTSUPP, ENOSYS}) {
        SCOPED_TRACE(std::strerror(error));
        fs::remove_all(target_);
        fs::create_directories(target_);
        rtl::TFaultInjectingFileSystem faults;
        rtl::TScopedFileSystem scope(faults);
        rtl::TFault fault{rtl::OpBit(rtl::TFsOp::Link), 1, error, false, {}};
        fault.Persistent = true;
        faults.Arm(fault);
        const auto files = tutil::BackupFamily(table_, target_, "BACKUP", LinkAny);
        EXPECT_EQ(faults.Calls(rtl::TFsOp::Link), family_.size());
        EXPECT_EQ(Backed(files), family_);
        for (const auto& f : files) {
            EXPECT_FALSE(f.Linked) << f.Path;
            EXPECT_FALSE(SameFile(f.Member, f.Path)) << f.Path;
            EXPECT_EQ(StatOf(f.Member).st_nlink, 1u);
            EXPECT_EQ(fs::last_write_time(f.Path), fs::last_write_time(f.Member)) << f.Path;
        }
    }
    for (const int error : {ENOSPC, EIO, EACCES}) {
        SCOPED_TRACE(std::strerror(error));
        fs::remove_all(target_);
        fs::create_directories(target_);
        rtl::TFaultInjectingFileSystem faults;
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Link), 3, error, false, {}});
        try {
            tutil::BackupFamily(table_, target_, "BACKUP", LinkAny);
            ADD_FAILURE() << "the backup did not fail";
        } catch (const tutil::TUtilFailure& e) {
            EXPECT_EQ(e.Code(), tutil::TUERR_BACKUP);
            EXPECT_NE(std::string(e.what()).find(std::strerror(error)), std::string::npos) << e.what();
        }
        EXPECT_TRUE(fs::is_empty(target_)) << "the links made before the failure stay";
        EXPECT_EQ(FamilyBytes(table_), family_);
        for (const auto& f : engine::FindTableFamily(dir_.Path(), "Calls")) EXPECT_EQ(StatOf(f).st_nlink, 1u) << f;
    }
}

// A member with other names might be written through them: a link would be no backup even
// after the rebuild, so it is copied, as is a member the caller does not let be linked; the
// others are still linked.
TEST_F(FamilyBackup, OnlyMembersLetBeLinkedAndWithoutOtherNamesAreLinked) {
    const std::string elsewhere = dir_ / "elsewhere.bin";
    fs::create_hard_link(FindCompanionFile(table_, ".px"), elsewhere);
    const auto files = tutil::BackupFamily(table_, target_, "BACKUP", [](const std::string& member) {
        return fs::path(member).extension() != ".VAL";
    });
    EXPECT_EQ(Backed(files), family_);
    for (const auto& f : files) {
        const std::string ext = fs::path(f.Path).extension().string();
        const bool copied = ext == ".PX" || ext == ".VAL";
        EXPECT_EQ(f.Linked, !copied) << f.Path;
        EXPECT_EQ(SameFile(f.Member, f.Path), !copied) << f.Path;
    }
    EXPECT_EQ(StatOf(elsewhere).st_nlink, 2u);
}

// Separated, a backup keeps the bytes it had whatever is then written into the table's file.
TEST_F(FamilyBackup, ASeparatedBackupNoLongerChangesWithTheTable) {
    auto files = tutil::BackupFamily(table_, target_, "BACKUP", LinkAny);
    auto& data = DataFile(files);
    const auto time = fs::last_write_time(data.Member);
    tutil::SeparateBackupFile(data);
    EXPECT_FALSE(data.Linked);
    EXPECT_FALSE(SameFile(data.Member, data.Path));
    EXPECT_EQ(fs::last_write_time(data.Path), time);
    PatchFile(table_, 0x49, Le32(123456));  // written in place, as the billing application does
    EXPECT_EQ(ReadBytes(data.Path), family_.at(".DB"));
    EXPECT_EQ(StatOf(table_).st_nlink, 1u);
    std::size_t temporaries = 0;
    for (const auto& e : fs::directory_iterator(target_)) temporaries += e.path().filename().string().rfind(".~", 0) == 0;
    EXPECT_EQ(temporaries, 0u);
}

// Separating fails cleanly: the backup's name still holds the whole (linked) file.
TEST_F(FamilyBackup, ASeparationThatFailsLeavesTheLinkedBackupWhole) {
    auto files = tutil::BackupFamily(table_, target_, "BACKUP", LinkAny);
    auto& data = DataFile(files);
    for (const rtl::TFsOp op : {rtl::TFsOp::OpenWrite, rtl::TFsOp::CopyRange, rtl::TFsOp::Sync, rtl::TFsOp::Rename}) {
        SCOPED_TRACE(rtl::FsOpName(op));
        rtl::TFaultInjectingFileSystem faults;
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(rtl::TFault{rtl::OpBit(op), 1, ENOSPC, false, {}});
        EXPECT_THROW(tutil::SeparateBackupFile(data), tutil::TUtilFailure);
        EXPECT_TRUE(faults.Struck());
        EXPECT_TRUE(data.Linked);
        EXPECT_TRUE(SameFile(data.Member, data.Path));
        EXPECT_EQ(std::distance(fs::directory_iterator(target_), fs::directory_iterator{}),
                  static_cast<std::ptrdiff_t>(family_.size()));
    }
}

} // namespace
