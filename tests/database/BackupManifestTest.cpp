// The record a directory backup keeps of its table files: what it notices, and that a record
// someone else wrote or damaged is never taken for a sound one.
#include "database/BackupContents.h"
#include "database/BackupManifest.h"
#include "tests/database/CallTables.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using database::TRecordedFile;

void WriteRecord(const test::TempDir& dir, const std::string& text) {
    std::ofstream(dir / database::BackupManifestName, std::ios::binary | std::ios::trunc) << text;
}

TEST(BackupManifest, ReadsBackWhatItWroteNamesWithLineBreaksAndPercentsIncluded) {
    test::TempDir dir;
    const std::vector<TRecordedFile> files{{"Hovory.DB", 123456789012}, {"a%b\tc\nd.db", 0}, {"Hovory.MB", 4096}};
    database::WriteBackupManifest(dir.Path(), files);
    const database::TBackupManifest read = database::ReadBackupManifest(dir.Path());
    EXPECT_TRUE(read.Present);
    EXPECT_EQ(read.Problem, "");
    EXPECT_EQ(read.Files, files);
    // Rewritten in place of the older record, no temporary copy left beside it.
    database::WriteBackupManifest(dir.Path(), {files[0]});
    EXPECT_EQ(database::ReadBackupManifest(dir.Path()).Files, std::vector<TRecordedFile>{files[0]});
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(BackupManifest, TellsEachFileMissingAddedOrOfAnotherSize) {
    database::TBackupManifest record{true, {{"A.DB", 10}, {"A.MB", 20}, {"B.DB", 30}}, {}};
    EXPECT_TRUE(database::ManifestDisagreements(record, record.Files).empty());
    const std::vector<std::string> lines =
        database::ManifestDisagreements(record, {{"A.DB", 10}, {"A.MB", 19}, {"C.PX", 5}});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("A.MB: 19 bytes, the backup wrote 20"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("B.DB: written by the backup, now missing"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("C.PX: not written by the backup"), std::string::npos) << lines[2];
    // Names are the file system's own: another letter case is another file.
    EXPECT_EQ(database::ManifestDisagreements(record, {{"a.db", 10}, {"A.MB", 20}, {"B.DB", 30}}).size(), 2u);
    // No record at all: nothing to disagree with.
    EXPECT_TRUE(database::ManifestDisagreements({}, {{"X.DB", 1}}).empty());
}

TEST(BackupManifest, ARecordNotAsThisProgramWritesItIsDamaged) {
    test::TempDir dir;
    const std::string head = "tablora backup files 1\n";
    const std::vector<std::pair<std::string, std::string>> damaged{
        {"empty", ""},
        {"another first line", "tablora backup files 2\n10\tA.DB\nend 1\n"},
        {"cut before its end", head + "10\tA.DB\n"},
        {"cut inside a line", head + "10\tA.DB\nend 1"},
        {"an end that miscounts", head + "10\tA.DB\nend 2\n"},
        {"lines after the end", head + "end 0\n10\tA.DB\n"},
        {"a size that is no number", head + "1O\tA.DB\nend 1\n"},
        {"a negative size", head + "-1\tA.DB\nend 1\n"},
        {"no tab", head + "10 A.DB\nend 1\n"},
        {"a name twice", head + "10\tA.DB\n10\tA.DB\nend 2\n"},
        {"a path", head + "10\tsub/A.DB\nend 1\n"},
        {"a parent", head + "10\t..\nend 1\n"},
        {"an empty name", head + "10\t\nend 1\n"},
        {"a broken escape", head + "10\tA%4.DB\nend 1\n"},
        {"carriage returns", "tablora backup files 1\r\n10\tA.DB\r\nend 1\r\n"},
    };
    for (const auto& [what, text] : damaged) {
        WriteRecord(dir, text);
        const database::TBackupManifest read = database::ReadBackupManifest(dir.Path());
        EXPECT_TRUE(read.Present) << what;
        EXPECT_TRUE(read.Files.empty()) << what;
        EXPECT_NE(read.Problem.find("is damaged"), std::string::npos) << what << ": " << read.Problem;
        // A damaged record makes the backup not whole, whatever the files.
        EXPECT_EQ(database::ManifestDisagreements(read, {{"A.DB", 10}}), std::vector<std::string>{read.Problem}) << what;
    }
    fs::remove(dir / database::BackupManifestName);
    fs::create_directory(dir / database::BackupManifestName);
    EXPECT_NE(database::ReadBackupManifest(dir.Path()).Problem.find("not a regular file"), std::string::npos);
    fs::remove(dir / database::BackupManifestName);
#ifndef _WIN32  // symbolic links need a privilege there that tests do not have
    fs::create_symlink(dir / "elsewhere", dir / database::BackupManifestName);
    EXPECT_NE(database::ReadBackupManifest(dir.Path()).Problem, "");
    fs::remove(dir / database::BackupManifestName);
#endif
    EXPECT_FALSE(database::ReadBackupManifest(dir.Path()).Present);
}

// The list's judgement of a directory backup from its files alone: what the record notices,
// and what a backup without one still shows.
TEST(BackupManifest, TheListNoticesATableDeletedFromARecordedBackupOnly) {
    test::TempDir dir;
    test::MakeCallTable(dir / "Hovory.DB", 20);
    test::MakeCallTable(dir / "Firmy.DB", 5);
    database::WriteBackupManifest(dir.Path(), database::TableFilesHeld(dir.Path()));
    const database::TDatedBackup backup{"b", dir.Path(), 0, {}, database::TBackupKind::Directory};
    database::TBackupContents listed = database::ListBackupContents(backup);
    EXPECT_TRUE(listed.Whole()) << listed.Problems.front();
    EXPECT_FALSE(listed.Unrecorded);
    EXPECT_EQ(listed.Tables, (std::vector<std::string>{"Firmy", "Hovory"}));

    for (const auto& e : fs::directory_iterator(dir.Path()))
        if (e.path().stem() == "Firmy") fs::remove(e.path());
    listed = database::ListBackupContents(backup);
    EXPECT_FALSE(listed.Whole());
    EXPECT_NE(listed.Problems.front().find("Firmy.DB: written by the backup, now missing"), std::string::npos)
        << listed.Problems.front();
    EXPECT_EQ(database::WhyNotWhole(backup), listed.Problems.front());

    // Without the record the same directory looks whole, and says it keeps no record.
    fs::remove(dir / database::BackupManifestName);
    listed = database::ListBackupContents(backup);
    EXPECT_TRUE(listed.Whole());
    EXPECT_TRUE(listed.Unrecorded);
    // A table file cut short is seen by the size the record keeps.
    database::WriteBackupManifest(dir.Path(), database::TableFilesHeld(dir.Path()));
    fs::resize_file(dir / "Hovory.MB", fs::file_size(dir / "Hovory.MB") - 1);
    EXPECT_FALSE(database::ListBackupContents(backup).Whole());
}

// A directory backup whose every table was deleted is still found, by its record, and is
// not whole; a directory holding neither tables nor a record is no backup.
TEST(BackupManifest, ABackupEmptiedOfItsTablesIsStillListed) {
    test::TempDir root;
    fs::create_directories(root / "emptied");
    fs::create_directories(root / "photos");
    test::MakeCallTable(root / "emptied/Hovory.DB", 3);
    database::WriteBackupManifest(root / "emptied", database::TableFilesHeld(root / "emptied"));
    for (const auto& e : fs::directory_iterator(root / "emptied"))
        if (e.path().stem() == "Hovory") fs::remove(e.path());
    std::ofstream(root / "photos/a.jpg") << "jpg";
    const std::vector<database::TDatedBackup> found = database::ListBackups(root.Path(), "");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "emptied");
    const database::TBackupContents listed = database::ListBackupContents(found[0]);
    EXPECT_FALSE(listed.Whole());
    EXPECT_NE(listed.Problems.front().find("Hovory.DB: written by the backup, now missing"), std::string::npos)
        << listed.Problems.front();
}

TEST(BackupContents, ASuddenLossIsHalfTheRowsOrMore) {
    EXPECT_FALSE(database::SuddenLoss(0, 0));
    EXPECT_FALSE(database::SuddenLoss(100, 100));
    EXPECT_FALSE(database::SuddenLoss(100, 51));
    EXPECT_TRUE(database::SuddenLoss(100, 50));
    EXPECT_TRUE(database::SuddenLoss(1, 0));
    EXPECT_TRUE(database::SuddenLoss(3, 1));
    EXPECT_FALSE(database::SuddenLoss(3, 2));
    EXPECT_FALSE(database::SuddenLoss(10, 1000));
}

} // namespace
