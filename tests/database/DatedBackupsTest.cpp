// Dated backup names, read back and thinned out: a name the pattern did not make is never
// taken for a backup, the backup just made is never deleted, and a dated directory holding
// anything but table files is left whole.
#include "database/DatedBackups.h"
#include "platform/rtl/FileListing.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

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
    }
    void TearDown() override {
        if (hadTz_) ::setenv("TZ", oldTz_.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    // 2026-12-09 10:00 UTC plus `days`.
    static std::time_t Day(int days) { return 1796810400 + days * 86400; }

    test::TempDir dir;

private:
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
    for (int d = 0; d < 5; ++d) dir.WriteFile(database::DatedName(Pattern, Day(d)), "zip");
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

} // namespace
