// A rebuild killed at any moment loses no row: a child process rebuilds a damaged table and
// is killed just before its n-th call that changes the disk, for every n. Afterwards the
// table is either the old one, byte for byte, or the rebuilt one with its backup complete.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/rtl/FaultInjection.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace test;
namespace fs = std::filesystem;

void CopyFlat(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from))
        if (e.is_regular_file()) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
}

// Runs the rebuild of `path` in a child killed at its `step`-th changing call; true when the
// child got through it all.
bool RebuildKilledAt(std::uint64_t step, const std::string& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        rtl::TFaultInjectingFileSystem fs;
        rtl::ScopedFileSystem scope(fs);
        fs.Arm(rtl::TFault{0, step, 0, true, {}});
        const auto run = RunLibraryRebuild(path);
        ::_exit(run.Code == tutil::TUERR_NONE ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the rebuild failed at step " << step;
    return !WIFSIGNALED(status);
}

// The backups left in the companion directories, each as extension -> bytes; partial runs
// may have left none or an incomplete one.
std::vector<std::map<std::string, std::string>> Backups(const std::string& dir) {
    std::vector<std::map<std::string, std::string>> out;
    const fs::path root = fs::path(dir) / "Rekonstrukcia";
    if (!fs::exists(root)) return out;
    for (const auto& run : fs::directory_iterator(root)) {
        std::map<std::string, std::string> files;
        for (const auto& f : fs::directory_iterator(run.path()))
            if (f.path().stem() == "BACKUP") files[f.path().extension().string()] = ReadBytes(f.path().string());
        out.push_back(files);
    }
    return out;
}

TEST(RebuildCrash, KilledAtEveryStepLeavesTheOldTableOrTheNewOneWithItsBackup) {
    TempDir scratch;
    const std::string pristine = scratch / "pristine";
    fs::create_directories(pristine);
    const std::string table = pristine + "/Calls.db";
    MakeTable(table, AllTypesLayout(1), 120);
    CreateSecondaryIndex(table, {"Small"}, "", pristine);
    const auto h = TParadoxTable::Open(table)->Header();
    ASSERT_GE(h.BlocksInUse, 4);
    PatchFile(table, h.BlockOffset(2), Le16(9999));  // a broken chain: the rebuild has work
    const auto original = FamilyBytes(table);

    const std::string work = scratch / "work";
    const std::string path = work + "/Calls.db";
    CopyFlat(pristine, work);
    ASSERT_EQ(RunLibraryRebuild(path).Code, tutil::TUERR_NONE);
    const TRowSet rebuilt = RowSet(path);
    ASSERT_EQ(rebuilt.size(), 120u);

    std::uint64_t step = 1;
    int oldTable = 0, newTable = 0;
    for (; step < 2000; ++step) {
        CopyFlat(pristine, work);
        fs::remove_all(work + "/Rekonstrukcia");
        const bool finished = RebuildKilledAt(step, path);
        engine::paradox::RecoverFamily(work, "Calls.db");
        if (FamilyBytes(path) == original) {
            ++oldTable;
        } else {
            ++newTable;
            EXPECT_EQ(RowSet(path), rebuilt) << "killed at step " << step;
            bool backupComplete = false;
            for (const auto& b : Backups(work)) backupComplete = backupComplete || b == original;
            EXPECT_TRUE(backupComplete) << "killed at step " << step << ": the new table stands without its backup";
        }
        if (finished) break;
    }
    EXPECT_GT(oldTable, 10);
    EXPECT_GT(newTable, 0);
    // A later run clears what the killed ones left beside the table.
    ASSERT_EQ(RunLibraryRebuild(path).Code, tutil::TUERR_NONE);
    for (const auto& e : fs::directory_iterator(work))
        EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
}

} // namespace
