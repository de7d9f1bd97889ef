// A rebuild killed at any moment loses no row: a child process rebuilds a damaged table and
// is killed just before its n-th call that changes the disk, for every n. Afterwards the
// table is either the old one, byte for byte, or the rebuilt one with its backup complete
// and no file of that backup a second name of a file of the table.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/FaultInjection.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace test;
namespace fs = std::filesystem;

// Runs the rebuild of `path` (under the structure of `structureFrom`, when given) in a child
// killed at its `step`-th changing call; true when the child got through it all.
bool RebuildKilledAt(std::uint64_t step, const std::string& path, const std::string& structureFrom) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        rtl::TFaultInjectingFileSystem fs;
        rtl::TScopedFileSystem scope(fs);
        fs.Arm(rtl::TFault{0, step, 0, true, {}});
        const auto run = RunLibraryRebuild(path, structureFrom);
        ::_exit(run.Code == tutil::TUERR_NONE ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the rebuild failed at step " << step;
    return !WIFSIGNALED(status);
}

struct TBackup {
    std::map<std::string, std::string> Bytes;  // extension -> bytes
    bool Shared = false;                       // a file of it has another name
};

// The backups left in the companion directories; partial runs may have left none or an
// incomplete one.
std::vector<TBackup> Backups(const std::string& dir) {
    std::vector<TBackup> out;
    for (const auto& [run, files] : BackupFilesBelow(dir)) {
        TBackup backup;
        for (const auto& f : files) {
            backup.Bytes[fs::path(f).extension().string()] = ReadBytes(f);
            backup.Shared = backup.Shared || StatOf(f).st_nlink > 1;
        }
        out.push_back(backup);
    }
    return out;
}

// Kills the rebuild of the table `name` of the directory `pristine` (copied afresh to
// `work` each time) at every step: the table is the old one byte for byte, or the new one
// with its backup complete.
void ExpectEveryKillLeavesOldOrNew(const std::string& pristine, const std::string& work, const std::string& name,
                                   const std::string& structureFrom, std::size_t rows) {
    const std::string path = work + "/" + name;
    const auto original = FamilyBytes(pristine + "/" + name);
    CopyFlat(pristine, work);
    ASSERT_EQ(RunLibraryRebuild(path, structureFrom).Code, tutil::TUERR_NONE);
    const TRowSet rebuilt = RowSet(path);
    ASSERT_EQ(rebuilt.size(), rows);

    std::uint64_t step = 1;
    int oldTable = 0, newTable = 0;
    for (; step < 2000; ++step) {
        CopyFlat(pristine, work);
        fs::remove_all(work + "/Rekonstrukcia");
        const bool finished = RebuildKilledAt(step, path, structureFrom);
        engine::paradox::OpenDirectoryForWriting(work, name);
        if (FamilyBytes(path) == original) {
            ++oldTable;
        } else {
            ++newTable;
            EXPECT_EQ(RowSet(path), rebuilt) << "killed at step " << step;
            bool backupComplete = false;
            for (const auto& b : Backups(work)) {
                backupComplete = backupComplete || b.Bytes == original;
                EXPECT_FALSE(b.Shared) << "killed at step " << step << ": the backup shares a file with the table";
            }
            EXPECT_TRUE(backupComplete) << "killed at step " << step << ": the new table stands without its backup";
        }
        if (finished) break;
    }
    EXPECT_GT(oldTable, 10);
    EXPECT_GT(newTable, 0);
    // A later run clears what the killed ones left beside the table. The last run finished, so
    // the table's own header is sound again: a copy's structure is refused for it now.
    if (!structureFrom.empty()) {
        EXPECT_EQ(RunLibraryRebuild(path, structureFrom).Code, tutil::TUERR_STRUCTUREMISFIT);
    }
    ASSERT_EQ(RunLibraryRebuild(path).Code, tutil::TUERR_NONE);
    for (const auto& e : fs::directory_iterator(work))
        EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
}

TEST(RebuildCrash, KilledAtEveryStepLeavesTheOldTableOrTheNewOneWithItsBackup) {
    TempDir scratch;
    const std::string pristine = scratch / "pristine";
    MakeBrokenCallsTable(pristine);
    ExpectEveryKillLeavesOldOrNew(pristine, scratch / "work", "Calls.db", {}, 120);
}

// The same under a structure from a backup: the header refused, read under its intact copy's.
TEST(RebuildCrash, KilledAtEveryStepUnderABackupsStructureLeavesTheOldTableOrTheNewOne) {
    TempDir scratch;
    const std::string pristine = scratch / "pristine";
    fs::create_directories(pristine);
    fs::create_directories(scratch / "backup");
    MakeTable(pristine + "/Calls.db", AllTypesLayout(1), 120);
    fs::copy_file(pristine + "/Calls.db", scratch / "backup/Calls.db");
    const std::string count = ReadBytes(pristine + "/Calls.db").substr(0x21, 2);
    PatchFile(pristine + "/Calls.db", 0x21, Le16(static_cast<unsigned char>(count[0]) + 1u));
    ASSERT_EQ(RunLibraryRebuild(pristine + "/Calls.db").Code, tutil::TUERR_NOTATABLE);
    ExpectEveryKillLeavesOldOrNew(pristine, scratch / "work", "Calls.db", scratch / "backup/Calls.db", 120);
}

} // namespace
