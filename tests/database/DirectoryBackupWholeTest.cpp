// A directory backup is whole or absent: written beside its target and put in its place in
// one step, an older backup there replaced as a unit with what it held beside the tables
// carried over; a failed run, or what a killed one left, never costs the previous backup.
#include "database/BackupContents.h"
#include "database/BackupDiff.h"
#include "database/BackupManifest.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "tests/database/CallTables.h"
#include "tests/database/ModuleFixture.h"

#include <fstream>

namespace {

using test::DirectoryBytes;
using test::ExpectSameFiles;
using test::ReadAll;
namespace fs = std::filesystem;

// A process id no process has: what a killed run's names carry.
constexpr const char* Gone = "2000000000.";

class DirectoryBackupWhole : public test::ModuleTest {
protected:
    void SetUp() override {
        test::ModuleTest::SetUp();
        test::MakeCallTable(databaseDir / "Hovory.DB", 30);
        test::MakeCallTable(databaseDir / "Firmy.DB", 10);
        // Last night's backup, of other rows.
        fs::create_directories(target);
        for (const auto& [table, rows] : {std::pair{"Hovory", 20}, std::pair{"Firmy", 8}})
            test::MakeTable(target + "/" + table + ".DB", test::CallLayout(), static_cast<std::uint64_t>(rows),
                            [](std::uint64_t i, int f) { return test::CallValue(i + 5000, f); });
    }

    // The entries beside the target, its own name left out.
    std::vector<std::string> Beside() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(other.Path()))
            if (e.path().filename() != "zaloha") names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string target = other / "zaloha";
};

TEST_F(DirectoryBackupWhole, AnOlderBackupIsReplacedAsAUnitAndWhatItHeldBesideIsCarriedOver) {
    test::MakeCallTable(target + "/Stary.DB", 4);  // a table the database no longer has
    std::ofstream(target + "/poznamky.txt") << "the operator's notes";
    const std::string stary = ReadAll(target + "/Stary.DB");
    rtl::TFileStatus old;
    ASSERT_EQ(rtl::FileSystem().Stat(target, old), 0);

    Module().BackupToDirectory(target, false, 3);
    for (const char* name : {"Hovory.DB", "Hovory.MB", "Firmy.DB", "Firmy.MB"})
        EXPECT_TRUE(ReadAll(target + "/" + name) == ReadAll(databaseDir / name)) << name;
    // The older backup's indexes of the tables backed up went with it.
    EXPECT_FALSE(fs::exists(target + "/Hovory.PX"));
    EXPECT_TRUE(ReadAll(target + "/Stary.DB") == stary);
    EXPECT_EQ(ReadAll(target + "/poznamky.txt"), "the operator's notes");
    EXPECT_TRUE(Beside().empty()) << Beside().front();
    rtl::TFileStatus now;
    ASSERT_EQ(rtl::FileSystem().Stat(target, now), 0);
    EXPECT_FALSE(now.SameFileAs(old)) << "the backup was written into the old directory";
    const auto& report = Module().LastBackup;
    EXPECT_EQ(report.Tables, 2);
    EXPECT_EQ(report.Files, 4);
    EXPECT_EQ(report.Target, target);
    EXPECT_EQ(report.StaleIndexesRemoved, (std::vector<std::string>{"Firmy.PX", "Hovory.PX"}));

    // A subdirectory in the target is not the backup's to move: the tables are written in
    // place, each whole, and it stays where it is.
    fs::create_directories(target + "/december");
    std::ofstream(target + "/december/Hovory.DB") << "an older copy kept by hand";
    for (const char* name : {"Hovory.DB", "Hovory.MB", "Hovory.PX"}) fs::remove(databaseDir / name);
    test::MakeCallTable(databaseDir / "Hovory.DB", 7);
    Module().BackupToDirectory(target, true, 3);
    for (const char* name : {"Hovory.DB", "Hovory.MB", "Hovory.PX", "Firmy.DB", "Firmy.MB", "Firmy.PX"})
        EXPECT_TRUE(ReadAll(target + "/" + name) == ReadAll(databaseDir / name)) << name;
    EXPECT_EQ(ReadAll(target + "/december/Hovory.DB"), "an older copy kept by hand");
    EXPECT_TRUE(ReadAll(target + "/Stary.DB") == stary);
    EXPECT_TRUE(Beside().empty()) << Beside().front();
    for (const auto& e : fs::directory_iterator(target))
        EXPECT_FALSE(e.path().filename().string().starts_with(".")) << e.path() << " left behind";
}

// Whatever fails, the previous backup stands as it was and nothing of the run stays beside it.
TEST_F(DirectoryBackupWhole, AFailedBackupLeavesThePreviousOneAsItWas) {
    const auto before = DirectoryBytes(target);
    Module();
    for (const auto& [ops, error] : {std::pair{rtl::OpBit(rtl::TFsOp::OpenRead), EIO},
                                     std::pair{rtl::OpBit(rtl::TFsOp::CopyRange) | rtl::OpBit(rtl::TFsOp::Write), ENOSPC},
                                     std::pair{rtl::OpBit(rtl::TFsOp::Rename), EIO},
                                     std::pair{rtl::OpBit(rtl::TFsOp::Sync), ENOSPC}}) {
        std::string says;
        {
            const test::TScopedFault fault(test::FaultAt(ops, 2, error, {}, true));
            try {
                Module().BackupToDirectory(target, true, 3);
            } catch (const rtl::EError& e) {
                says = e.what();
            }
            EXPECT_TRUE(fault.fs.Struck());
        }
        EXPECT_NE(says.find("The backup was not written; \"" + target + "\" is as it was before."), std::string::npos)
            << says;
        ExpectSameFiles(before, DirectoryBytes(target));
        EXPECT_TRUE(Beside().empty()) << Beside().front();
    }
}

// Written into its target table by table (the target holds a folder of its own), a backup
// stopped part way holds tables of two runs whose sizes may all agree with the older record:
// until the new record is written, the list tells it is not whole.
TEST_F(DirectoryBackupWhole, ABackupStoppedWhileReplacingItsFilesInPlaceIsNotWhole) {
    for (int t = 0; t < 6; ++t) test::MakeCallTable(databaseDir / ("Tab" + std::to_string(t) + ".DB"), 3);
    fs::create_directories(target + "/december");
    Module().BackupToDirectory(target, true, 3);
    const database::TDatedBackup backup{"zaloha", target, 0, {}, database::TBackupKind::Directory};
    ASSERT_TRUE(database::ListBackupContents(backup).Whole());
    // The same sizes, other rows: the older record cannot tell them apart.
    for (int t = 0; t < 6; ++t) {
        const std::string table = databaseDir / ("Tab" + std::to_string(t));
        for (const char* ext : {".DB", ".MB", ".PX"}) fs::remove(table + ext);
        test::MakeTable(table + ".DB", test::CallLayout(), 3, [](std::uint64_t i, int f) { return test::CallValue(i + 90, f); });
    }
    std::string says;
    {
        // The third family put in place fails.
        const test::TScopedFault fault(test::FaultAt(rtl::OpBit(rtl::TFsOp::Rename), 20, EIO, target));
        try {
            Module().BackupToDirectory(target, true, 3);
        } catch (const rtl::EError& e) {
            says = e.what();
        }
        EXPECT_TRUE(fault.fs.Struck());
    }
    EXPECT_NE(says.find("The backup was not finished"), std::string::npos) << says;
    int fresh = 0;
    for (int t = 0; t < 6; ++t) {
        const std::string name = "/Tab" + std::to_string(t) + ".DB";
        fresh += ReadAll(target + name) == ReadAll(databaseDir / name) ? 1 : 0;
    }
    ASSERT_GT(fresh, 0) << "nothing was put in place before the failure";
    const database::TBackupContents listed = database::ListBackupContents(backup);
    EXPECT_FALSE(listed.Whole());
    ASSERT_FALSE(listed.Problems.empty());
    EXPECT_NE(listed.Problems.front().find("stopped while its files were being replaced"), std::string::npos)
        << listed.Problems.front();
    // Nor is it restored from: a table's files may be of two runs.
    const auto live = DirectoryBytes(databaseDir.Path());
    std::string refused;
    try {
        Module().RestoreFromDirectory(target, 3);
    } catch (const rtl::EError& e) {
        refused = e.what();
    }
    EXPECT_NE(refused.find("stopped while its tables were being replaced"), std::string::npos) << refused;
    ExpectSameFiles(live, DirectoryBytes(databaseDir.Path()));
    // And what a restore would change (restore --dry-run) says the same.
    database::TBackupDiffRequest request;
    request.Directory = databaseDir.Path();
    request.BackupDirectory = target;
    const database::TBackupDiff diff = database::DiffAgainstBackup(request);
    ASSERT_EQ(diff.Problems.size(), 1u);
    EXPECT_NE(diff.Problems[0].find("stopped while its tables were being replaced"), std::string::npos);

    Module().BackupToDirectory(target, true, 3);
    EXPECT_TRUE(database::ListBackupContents(backup).Whole());
}

// The copies are synced in batches after they are written, not each before the next: every
// one must still be on the disk before the backup takes the target's name.
TEST_F(DirectoryBackupWhole, EveryCopyIsSyncedBeforeTheBackupTakesItsPlace) {
    for (int t = 0; t < 40; ++t) test::MakeCallTable(databaseDir / ("Tab" + std::to_string(t) + ".DB"), 3);
    class TOrder : public rtl::TFileSystem {
    public:
        int Sync(int fd) override {
            ++Syncs;
            return rtl::TFileSystem::Sync(fd);
        }
        int RenameExchange(const std::string& a, const std::string& b) override {
            if (b == Target) SyncsBeforeInPlace = Syncs;
            return rtl::TFileSystem::RenameExchange(a, b);
        }
        int Rename(const std::string& from, const std::string& to) override {
            if (to == Target) SyncsBeforeInPlace = Syncs;
            return rtl::TFileSystem::Rename(from, to);
        }
        std::string Target;
        int Syncs = 0;
        int SyncsBeforeInPlace = -1;
    } order;
    order.Target = target;
    Module();
    {
        const rtl::TScopedFileSystem installed(order);
        Module().BackupToDirectory(target, true, 3);
    }
    const std::size_t files = rtl::ListFiles(databaseDir.Path(), "*").size();
    ASSERT_GT(files, 40u);
    EXPECT_GE(order.SyncsBeforeInPlace, static_cast<int>(files)) << "of " << order.Syncs << " syncs";
    ExpectSameFiles(DirectoryBytes(databaseDir.Path()), [&] {
        auto held = DirectoryBytes(target);
        held.erase("tablora-backup.txt");
        return held;
    }());
}

// A run killed after it moved the older backup aside and before the new one took its name:
// the next run puts the older one back before anything else. Directories a killed run was
// writing go; one that holds what is not the run's own, or is a symbolic link, is not followed.
TEST_F(DirectoryBackupWhole, WhatKilledRunsLeftIsPutBackClearedOrLeft) {
    const auto previous = DirectoryBytes(target);
    fs::rename(target, other / (std::string(".zaloha.tablora-old-") + Gone + "abcdef"));
    fs::create_directories(other / (std::string(".zaloha.tablora-new-") + Gone + "ghijkl"));
    std::ofstream(other / (std::string(".zaloha.tablora-new-") + Gone + "ghijkl/Hovory.DB")) << "half written";
    const std::string elsewhere = other.WriteFile("elsewhere/Hovory.DB", "not the run's own");
    fs::create_directory_symlink(other / "elsewhere", other / (std::string(".zaloha.tablora-new-") + Gone + "mnopqr"));

    Module();
    {
        // The database cannot be read: the run fails after it cleared up.
        const test::TScopedFault unreadable(test::FaultAt(rtl::OpBit(rtl::TFsOp::OpenRead), 1, EIO, databaseDir / "Hovory.DB"));
        EXPECT_THROW(Module().BackupToDirectory(target, true, 3), rtl::EError);
    }
    ExpectSameFiles(previous, DirectoryBytes(target));
    EXPECT_EQ(ReadAll(elsewhere), "not the run's own");
    EXPECT_EQ(Beside(), (std::vector<std::string>{std::string(".zaloha.tablora-new-") + Gone + "mnopqr", "elsewhere"}));
}

TEST_F(DirectoryBackupWhole, ABackupOfSomeTablesReplacesOnlyThoseInTheTarget) {
    const std::string hovory = ReadAll(target + "/Hovory.DB"), hovoryMemo = ReadAll(target + "/Hovory.MB");
    Module().OnlyTables = {"FIRMY"};
    Module().BackupToDirectory(target, false, 3);
    EXPECT_TRUE(ReadAll(target + "/Firmy.DB") == ReadAll(databaseDir / "Firmy.DB"));
    EXPECT_TRUE(ReadAll(target + "/Hovory.DB") == hovory);
    EXPECT_TRUE(ReadAll(target + "/Hovory.MB") == hovoryMemo);
    EXPECT_EQ(Module().LastBackup.Tables, 1);

    const auto before = DirectoryBytes(target);
    Module().OnlyTables = {"Firmy", "Linky"};
    try {
        Module().BackupToDirectory(target, false, 3);
        ADD_FAILURE() << "a backup of a table the database does not hold";
    } catch (const rtl::EError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Linky\""), std::string::npos) << e.what();
    }
    ExpectSameFiles(before, DirectoryBytes(target));
}

// A new backup directory on a file system mounted read-only: the cause is the file system, not
// a missing directory.
TEST_F(DirectoryBackupWhole, AReadOnlyFileSystemIsNamedAsTheCause) {
    Module();
    std::string says;
    {
        const test::TScopedFault readOnly(test::FaultAt(rtl::OpBit(rtl::TFsOp::MakeDirectory), 1, EROFS, {}, true));
        try {
            Module().BackupToDirectory(other / "nova/zaloha", true, 3);
        } catch (const rtl::EError& e) {
            says = e.what();
        }
    }
    EXPECT_NE(says.find("Read-only file system"), std::string::npos) << says;
    EXPECT_EQ(says.find("No such file"), std::string::npos) << says;
}

} // namespace
