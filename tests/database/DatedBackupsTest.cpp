// Dated backup names, read back and thinned out: a name the pattern did not make is never
// taken for a backup, the backup just made is never deleted, and a dated directory holding
// anything but table files is left whole.
#include "database/DatedBackups.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/FileListing.h"
#include "tests/database/CallTables.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>

namespace {

using database::TBackupKind;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr const char* Pattern = "Orvan-%Y-%m-%d_%H%M.zip";

class DatedBackups : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        oldTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        // Rotations run a month after the backups' days.
        rtl::OverrideNow(Day(30));
    }
    void TearDown() override {
        rtl::OverrideNow(0);
        if (hadTz_) ::setenv("TZ", oldTz_.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    // 2026-12-09 10:00 UTC plus `days`.
    static std::time_t Day(int days) { return 1796810400 + days * 86400; }

    // An archive at `name` in `dir` holding the files `files` (name, bytes).
    void WriteArchive(const std::string& name, const std::map<std::string, std::string>& files) {
        int error = 0;
        zip_t* z = zip_open((dir / name).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(z, nullptr);
        for (const auto& [entry, bytes] : files)
            zip_file_add(z, entry.c_str(), zip_source_buffer(z, bytes.data(), bytes.size(), 0), ZIP_FL_OVERWRITE);
        ASSERT_EQ(zip_close(z), 0);
    }
    // A whole backup of one table with memo fields.
    std::map<std::string, std::string> WholeTable() {
        if (table_.empty()) {
            test::MakeCallTable(scratch / "Hovory.DB", 3);
            table_ = {{"Hovory.DB", test::FileBytes(scratch / "Hovory.DB")},
                      {"Hovory.MB", test::FileBytes(scratch / "Hovory.MB")}};
        }
        return table_;
    }

    test::TempDir dir, scratch;

private:
    std::map<std::string, std::string> table_;
    std::string oldTz_;
    bool hadTz_ = false;
};

TEST_F(DatedBackups, ANameIsReadBackOnlyWhenThePatternMadeIt) {
    EXPECT_EQ(database::DatedName(Pattern, Day(0)), "Orvan-2026-12-09_1000.zip");
    EXPECT_EQ(database::TimeInDatedName("Orvan-2026-12-09_1000.zip", Pattern), Day(0));
    EXPECT_EQ(database::TimeInDatedName("Orvan-2026-12-09 10:00:00", "Orvan-%F %T"), Day(0));
    EXPECT_EQ(database::TimeInDatedName("100%-26-12-09", "100%%-%y-%m-%d"), Day(0) - 10 * 3600);
    for (const char* nearly : {"Orvan-2026-12-09_1000.zip.part", "Orvan-2026-12-09_1000.ZIP", "orvan-2026-12-09_1000.zip",
                               "Orvan-2026-12-9_1000.zip", "Orvan-2026-12-09_10000.zip", "Orvan-2026-13-09_1000.zip",
                               "Orvan-2026-02-30_1000.zip", "Orvan-2026-12-09_1060.zip", "Orvan-2026-12-09_+100.zip",
                               "Orvan-2026-12-09_1000", "xOrvan-2026-12-09_1000.zip", ""})
        EXPECT_FALSE(database::TimeInDatedName(nearly, Pattern)) << nearly;
    EXPECT_EQ(database::UnreadableDateField("Orvan-%a-%Y.zip"), "%a");
    EXPECT_EQ(database::UnreadableDateField("Orvan-%F_%H%M%%.zip"), "");
    EXPECT_FALSE(database::HasDateFields("100%%.zip"));
}

TEST_F(DatedBackups, TheNewestAreKeptAndOnlyNamesOfThePatternDeleted) {
    for (int d = 0; d < 5; ++d) WriteArchive(database::DatedName(Pattern, Day(d)), WholeTable());
    dir.WriteFile("Orvan-2026-12-01_1000.zip.part", "nearly");
    dir.WriteFile("Orvan-2026-11-31_1000.zip", "no such day");
    fs::create_directory(dir / "Orvan-2026-12-02_1000.zip");  // a directory is no archive
    fs::create_symlink(dir / "Orvan-2026-12-09_1000.zip", dir / "Orvan-2026-12-03_1000.zip");

    // The backup just made is the oldest by its name (the clock went back): kept anyway.
    const database::TRotation r =
        database::RotateDatedBackups(dir.Path(), Pattern, TBackupKind::Archive, 2, "Orvan-2026-12-09_1000.zip");
    EXPECT_EQ(r.Kept, (Names{"Orvan-2026-12-13_1000.zip", "Orvan-2026-12-12_1000.zip", "Orvan-2026-12-09_1000.zip"}));
    EXPECT_EQ(r.Deleted, (Names{"Orvan-2026-12-11_1000.zip", "Orvan-2026-12-10_1000.zip"}));
    EXPECT_TRUE(r.NotDeleted.empty());
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*"),
              (Names{"Orvan-2026-11-31_1000.zip", "Orvan-2026-12-01_1000.zip.part", "Orvan-2026-12-09_1000.zip",
                     "Orvan-2026-12-12_1000.zip", "Orvan-2026-12-13_1000.zip"}));
    EXPECT_TRUE(fs::is_directory(dir / "Orvan-2026-12-02_1000.zip"));
    EXPECT_TRUE(fs::is_symlink(dir / "Orvan-2026-12-03_1000.zip"));
}

TEST_F(DatedBackups, KeepingNoneOrOneNeverDeletesTheBackupJustMade) {
    for (int d = 0; d < 3; ++d) dir.WriteFile(database::DatedName(Pattern, Day(d)), "zip");
    const std::string justMade = database::DatedName(Pattern, Day(2));
    auto r = database::RotateDatedBackups(dir.Path(), Pattern, TBackupKind::Archive, 0, justMade);
    EXPECT_EQ(r.Kept, Names{justMade});
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*"), Names{justMade});

    dir.WriteFile(database::DatedName(Pattern, Day(1)), "older");
    r = database::RotateDatedBackups(dir.Path(), Pattern, TBackupKind::Archive, 1, justMade);
    EXPECT_EQ(r.Kept, Names{justMade});
    EXPECT_EQ(r.Deleted, Names{database::DatedName(Pattern, Day(1))});
}

TEST_F(DatedBackups, ADatedDirectoryGoesOnlyWhenItHoldsNothingButTableFiles) {
    const char* pattern = "Orvan-%Y-%m-%d";
    for (int d = 0; d < 3; ++d) {
        const std::string name = database::DatedName(pattern, Day(d));
        dir.WriteFile(name + "/Hovory.DB", "data");
        dir.WriteFile(name + "/Hovory.X02", "index");
    }
    dir.WriteFile("Orvan-2026-12-09/poznamky.txt", "the operator's notes");
    fs::create_directory(dir / "Orvan-2026-12-10/Rekonstrukcia");

    const auto r = database::RotateDatedBackups(dir.Path(), pattern, TBackupKind::Directory, 0, "Orvan-2026-12-11");
    EXPECT_TRUE(r.Deleted.empty());
    ASSERT_EQ(r.NotDeleted.size(), 2u);
    EXPECT_EQ(r.NotDeleted[0].Name, "Orvan-2026-12-10");
    EXPECT_NE(r.NotDeleted[1].Why.find("poznamky.txt"), std::string::npos) << r.NotDeleted[1].Why;
    // Refused means untouched: its table files are still there beside the foreign one.
    EXPECT_EQ(rtl::ListFiles(dir / "Orvan-2026-12-09", "*"), (Names{"Hovory.DB", "Hovory.X02", "poznamky.txt"}));
    EXPECT_EQ(rtl::ListFiles(dir / "Orvan-2026-12-10", "*"), (Names{"Hovory.DB", "Hovory.X02"}));

    fs::remove(dir / "Orvan-2026-12-09/poznamky.txt");
    const auto again = database::RotateDatedBackups(dir.Path(), pattern, TBackupKind::Directory, 0, "Orvan-2026-12-11");
    EXPECT_EQ(again.Deleted, Names{"Orvan-2026-12-09"});
    EXPECT_FALSE(fs::exists(dir / "Orvan-2026-12-09"));
    EXPECT_TRUE(fs::exists(dir / "Orvan-2026-12-11/Hovory.DB"));
}

// Only whole backups count towards those kept: one dated later than now (a clock that was
// wrong once) is kept without a slot, and so is one that is not whole (a lone index file, a
// table without its memo file), as long as it is newer than the last whole one kept.
TEST_F(DatedBackups, AFutureNameOrAPartialBackupTakesNoSlotOfTheWholeOnes) {
    for (int d = 0; d < 4; ++d) WriteArchive(database::DatedName(Pattern, Day(d)), WholeTable());
    WriteArchive(database::DatedName(Pattern, Day(400)), WholeTable());
    auto partial = WholeTable();
    partial.erase("Hovory.MB");
    WriteArchive(database::DatedName(Pattern, Day(2)), partial);
    WriteArchive(database::DatedName(Pattern, Day(1)) + ".tmp", WholeTable());

    const auto r = database::RotateDatedBackups(dir.Path(), Pattern, TBackupKind::Archive, 2,
                                                database::DatedName(Pattern, Day(3)));
    EXPECT_EQ(r.Kept, (Names{database::DatedName(Pattern, Day(400)), database::DatedName(Pattern, Day(3)),
                             database::DatedName(Pattern, Day(2)), database::DatedName(Pattern, Day(1))}));
    EXPECT_EQ(r.Deleted, Names{database::DatedName(Pattern, Day(0))});
    ASSERT_EQ(r.NotCounted.size(), 2u);
    EXPECT_NE(r.NotCounted[1].Why.find("memo file (.mb) is missing"), std::string::npos) << r.NotCounted[1].Why;

    // The same for directories, one of which a killed deletion left with a lone index file.
    const char* pattern = "Orvan-%Y-%m-%d";
    for (int d = 0; d < 3; ++d)
        for (const auto& [name, bytes] : WholeTable())
            dir.WriteFile(database::DatedName(pattern, Day(d)) + "/" + name, bytes);
    fs::remove(dir / (database::DatedName(pattern, Day(1)) + "/Hovory.DB"));
    fs::remove(dir / (database::DatedName(pattern, Day(1)) + "/Hovory.MB"));
    dir.WriteFile(database::DatedName(pattern, Day(1)) + "/Firmy.PX", "an index of nothing");
    const auto d = database::RotateDatedBackups(dir.Path(), pattern, TBackupKind::Directory, 2,
                                                database::DatedName(pattern, Day(2)));
    EXPECT_TRUE(d.Deleted.empty());
    EXPECT_EQ(d.Kept.size(), 3u);
}

// A dated directory that goes is first renamed aside: a deletion that fails half way leaves
// no part of it under its own name, where a listing would take it for a backup.
TEST_F(DatedBackups, ADirectoryThatFailsToGoHalfWayIsNeverLeftUnderItsName) {
    const char* pattern = "Orvan-%Y-%m-%d";
    for (int d = 0; d < 2; ++d)
        for (const auto& [name, bytes] : WholeTable())
            dir.WriteFile(database::DatedName(pattern, Day(d)) + "/" + name, bytes);
    rtl::TFaultInjectingFileSystem faults;
    faults.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Unlink), 2, EIO, false, {}});
    database::TRotation r;
    {
        const rtl::TScopedFileSystem installed(faults);
        r = database::RotateDatedBackups(dir.Path(), pattern, TBackupKind::Directory, 1,
                                         database::DatedName(pattern, Day(1)));
    }
    EXPECT_TRUE(faults.Struck());
    ASSERT_EQ(r.NotDeleted.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / database::DatedName(pattern, Day(0))));
    EXPECT_TRUE(database::ListBackups(dir.Path(), pattern).size() == 1u);
}

} // namespace
