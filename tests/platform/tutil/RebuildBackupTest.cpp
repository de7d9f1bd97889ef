// The rebuild's backup is the table's own old files where they could be linked, and a backup
// only because the rebuild never writes into them and gives the table's names new files:
// after a success and after every failure no backup file shares its data with the table.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/FaultPoints.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace test;
namespace fs = std::filesystem;

std::map<std::string, std::string> BytesByExtension(const std::vector<std::string>& files) {
    std::map<std::string, std::string> out;
    for (const auto& f : files) out[fs::path(f).extension().string()] = ReadBytes(f);
    return out;
}

// Temporaries (".~...") left in `dir` and its companion directories.
std::vector<std::string> Temporaries(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().filename().string().rfind(".~", 0) == 0) out.push_back(e.path().string());
    return out;
}

// A keyed table with memos, a secondary index and a .VAL side file, its chain broken so the
// rebuild has work; kept pristine and copied into the work directory for each run.
class RebuildBackup : public ::testing::Test {
protected:
    void SetUp() override {
        pristine_ = scratch_ / "pristine";
        original_ = FamilyBytes(MakeBrokenCallsTable(pristine_));
        ASSERT_EQ(original_.size(), 6u);
        work_ = scratch_ / "work";
        path_ = work_ + "/Calls.db";
        Prepare();
        ASSERT_EQ(RunLibraryRebuild(path_).Code, tutil::TUERR_NONE);
        rebuilt_ = RowSet(path_);
        ASSERT_EQ(rebuilt_.size(), 120u);
        Prepare();
    }
    void Prepare() const { CopyFlat(pristine_, work_); }
    // Each family member's file by extension in capitals.
    std::map<std::string, ino_t> Inodes() const {
        std::map<std::string, ino_t> out;
        for (const auto& f : engine::FindTableFamily(work_, "Calls"))
            out[rtl::UpperAscii(fs::path(f).extension().string())] = StatOf(f).st_ino;
        return out;
    }
    // No backup file has a second name: none is a file of the table.
    void ExpectNoBackupSharesTheTable() const {
        for (const auto& [run, files] : BackupFilesBelow(work_))
            for (const auto& f : files) EXPECT_EQ(StatOf(f).st_nlink, 1u) << f << " shares its data";
        for (const auto& f : engine::FindTableFamily(work_, "Calls")) EXPECT_EQ(StatOf(f).st_nlink, 1u) << f;
    }

    TempDir scratch_;
    std::string pristine_;
    std::string work_;
    std::string path_;
    std::map<std::string, std::string> original_;
    TRowSet rebuilt_;
};

// The files the swap replaces are themselves the backup (linked, not copied); the side file
// it leaves in place is copied.
TEST_F(RebuildBackup, TheReplacedFilesAreTheBackupAndTheSideFileACopyOfItsOwn) {
    const auto before = Inodes();
    rtl::TFaultInjectingFileSystem counter;
    TLibraryRun run;
    {
        rtl::TScopedFileSystem scope(counter);
        counter.Arm(rtl::TFault{});
        run = RunLibraryRebuild(path_);
    }
    ExpectSoundRebuild(run, path_, original_);
    EXPECT_TRUE(RowSet(path_) == rebuilt_);
    EXPECT_EQ(counter.Calls(rtl::TFsOp::Link), original_.size() - 1) << "all but the side file";
    ASSERT_EQ(run.Report.BackupFiles.size(), original_.size());
    for (const auto& f : run.Report.BackupFiles) {
        const std::string ext = fs::path(f).extension().string();
        EXPECT_EQ(StatOf(f).st_ino == before.at(ext), ext != ".VAL") << f;
    }
    EXPECT_EQ(ReadBytes(work_ + "/Calls.VAL"), original_.at(".VAL"));
    EXPECT_EQ(StatOf(work_ + "/Calls.VAL").st_ino, before.at(".VAL")) << "the side file stays where it was";
    ExpectNoBackupSharesTheTable();
}

// Where links are refused the rebuild copies, as it always did.
TEST_F(RebuildBackup, RefusedLinksGiveCopies) {
    for (const int error : {EXDEV, EPERM}) {
        SCOPED_TRACE(std::strerror(error));
        Prepare();
        const auto before = Inodes();
        rtl::TFaultInjectingFileSystem faults;
        rtl::TFault fault{rtl::OpBit(rtl::TFsOp::Link), 1, error, false, {}};
        fault.Persistent = true;
        TLibraryRun run;
        {
            rtl::TScopedFileSystem scope(faults);
            faults.Arm(fault);
            run = RunLibraryRebuild(path_);
        }
        ExpectSoundRebuild(run, path_, original_);
        EXPECT_EQ(faults.Calls(rtl::TFsOp::Link), original_.size() - 1);
        for (const auto& f : run.Report.BackupFiles)
            EXPECT_NE(StatOf(f).st_ino, before.at(fs::path(f).extension().string())) << f << " is no copy";
        ExpectNoBackupSharesTheTable();
    }
}

// Nothing of the rebuild opens a file of the table for writing, writes into one or changes
// its size or times: what it writes goes beside the table and is renamed in.
TEST_F(RebuildBackup, NothingIsWrittenIntoTheTablesFiles) {
    const std::uint32_t writes = rtl::OpBit(rtl::TFsOp::OpenWrite) | rtl::OpBit(rtl::TFsOp::Write) |
                                 rtl::OpBit(rtl::TFsOp::CopyRange) | rtl::OpBit(rtl::TFsOp::SetMetadata);
    const rtl::TFault fault{writes, 1, EIO, false, work_ + "/Calls."};
    rtl::TFaultInjectingFileSystem faults;
    {
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(fault);
        const auto run = RunLibraryRebuild(path_);
        EXPECT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    }
    EXPECT_FALSE(faults.Struck()) << faults.StruckAt();
    EXPECT_GT(faults.Calls(rtl::TFsOp::OpenWrite), 0u);
    EXPECT_TRUE(RowSet(path_) == rebuilt_);
    // The same watch does see a write in place (the autoincrement counter's).
    rtl::TScopedFileSystem scope(faults);
    faults.Arm(fault);
    EXPECT_ANY_THROW(StoreAutoIncrement(path_, TParadoxTable::Open(path_)->Header().AutoIncrement, 999));
    EXPECT_TRUE(faults.Struck());
}

// Every changing call of the rebuild fails in turn: the rebuild fails (or the new table is
// put in place by the journal it left), the table is the old one byte for byte or the
// rebuilt one, and a backup left behind is whole and no second name of the table's files.
TEST_F(RebuildBackup, EveryFailurePointLeavesTheTableAndABackupOfItsOwn) {
    std::uint64_t failedAfterBackup = 0;
    const std::uint64_t points = ForEachFailurePoint(
        "rebuild", [&] { Prepare(); },
        [&] {
            const auto run = RunLibraryRebuild(path_);
            return run.Code == tutil::TUERR_NONE ? std::string() : run.ErrorText;
        },
        [&](const TPointRun&) {
            // A failure may also be met and got over (an index that could not be written is
            // dropped): then the rebuilt table stands.
            engine::paradox::OpenDirectoryForWriting(work_, "Calls.db");
            if (FamilyBytes(path_) != original_) {
                EXPECT_TRUE(RowSet(path_) == rebuilt_) << "neither old nor new";
            }
            for (const auto& [run, files] : BackupFilesBelow(work_)) {
                if (files.empty()) continue;
                ++failedAfterBackup;
                EXPECT_EQ(BytesByExtension(files), original_) << run;
            }
            ExpectNoBackupSharesTheTable();
            EXPECT_EQ(Temporaries(work_), std::vector<std::string>{});
        },
        rtl::MutatingOps());
    EXPECT_GT(points, 30u);
    EXPECT_GT(failedAfterBackup, points / 2) << "most failures strike after the backup";
}

// The disk fills up after the backup was linked: the new table cannot be written, and the
// linked backup files cannot be given data of their own either. They are removed rather than
// left as second names of the table's files, and the failure says so.
TEST_F(RebuildBackup, ALinkedBackupThatCannotBeCopiedIsRemovedAndNamed) {
    fs::remove(work_ + "/Calls.VAL");  // with nothing to copy, the backup writes nothing
    auto before = original_;
    before.erase(".VAL");
    rtl::TFaultInjectingFileSystem faults;
    rtl::TFault full{rtl::OpBit(rtl::TFsOp::OpenWrite) | rtl::OpBit(rtl::TFsOp::Write) | rtl::OpBit(rtl::TFsOp::CopyRange),
                     1, ENOSPC, false, {}};
    full.Persistent = true;
    TLibraryRun run;
    {
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(full);
        run = RunLibraryRebuild(path_);
    }
    EXPECT_NE(faults.StruckAt().find("/.~Calls.db."), std::string::npos) << faults.StruckAt();
    EXPECT_EQ(run.Code, tutil::TUERR_WRITE);
    EXPECT_NE(run.ErrorText.find("BACKUP.DB was removed"), std::string::npos) << run.ErrorText;
    EXPECT_NE(run.ErrorText.find("BACKUP.MB was removed"), std::string::npos) << run.ErrorText;
    EXPECT_NE(run.ErrorText.find(std::strerror(ENOSPC)), std::string::npos) << run.ErrorText;
    EXPECT_TRUE(run.Report.BackupFiles.empty());
    EXPECT_EQ(FamilyBytes(path_), before);
    for (const auto& [dir, files] : BackupFilesBelow(work_)) EXPECT_EQ(files, std::vector<std::string>{}) << dir;
    ExpectNoBackupSharesTheTable();
    EXPECT_EQ(Temporaries(work_), std::vector<std::string>{});
}

// A run killed after its links and before the swap leaves them beside the untouched table;
// the next run makes a backup of its own in a directory of its own (copying what has other
// names now), and once its swap is done the old links are a backup too.
TEST_F(RebuildBackup, LinksLeftByAKilledRunAreNotTheNextRunsBackup) {
    const pid_t child = ::fork();
    if (child == 0) {
        rtl::TFaultInjectingFileSystem faults;
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Link), 3, 0, true, {}});
        RunLibraryRebuild(path_);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto left = BackupFilesBelow(work_);
    ASSERT_EQ(left.size(), 1u);
    const std::vector<std::string>& made = left.begin()->second;
    // Two members were linked before the kill; a side file backed up by then was copied (a
    // leftover link of it would stay a name of the table's file for good).
    std::size_t linked = 0;
    for (const auto& f : made) {
        const std::string ext = fs::path(f).extension().string();
        EXPECT_EQ(ReadBytes(f), original_.at(ext)) << f;
        if (StatOf(f).st_nlink == 1) continue;
        ++linked;
        EXPECT_NE(ext, ".VAL");
    }
    EXPECT_EQ(linked, 2u);
    std::size_t shared = 0;
    for (const auto& f : engine::FindTableFamily(work_, "Calls")) shared += StatOf(f).st_nlink == 2 ? 1 : 0;
    EXPECT_EQ(shared, 2u);
    EXPECT_EQ(FamilyBytes(path_), original_);
    const std::map<std::string, std::string> leftBytes = BytesByExtension(made);

    const auto run = RunLibraryRebuild(path_);
    ExpectSoundRebuild(run, path_, original_);
    EXPECT_NE(run.Report.CompanionDirectory, left.begin()->first);
    EXPECT_EQ(BytesByExtension(made), leftBytes);
    ExpectNoBackupSharesTheTable();
}

} // namespace
