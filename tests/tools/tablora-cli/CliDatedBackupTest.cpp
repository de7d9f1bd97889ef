// Dated backups that rotate, run as a scheduler runs them: tablora-cli started as a real
// process, its clock set through TABLORA_NOW, on sample tables and call tables. Older backups
// go only after the new one was written and read back; nothing else in the directory goes.
#include "tests/database/CallTables.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;

constexpr int ExitDone = 0, ExitProblem = 1, ExitUsage = 2;
constexpr std::time_t Dec9 = 1796810400;  // 2026-12-09 10:00 UTC
constexpr std::time_t Day = 86400;

// Every regular file below `dir`, by its path relative to `dir`, with its bytes.
TFiles TreeBytes(const std::string& dir) {
    TFiles files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && !e.is_symlink()) files[fs::relative(e.path(), dir).string()] = FileBytes(e.path());
    return files;
}

class CliDatedBackup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(db);
        MakeCallTable(db + "/Hovory.DB", 40);
        fs::copy_file(Sample("Rparadox/inst/extdata/biolife.db"), db + "/Tel_zoz.db");
        fs::copy_file(Sample("Rparadox/inst/extdata/biolife.mb"), db + "/Tel_zoz.mb");
        fs::create_directories(zalohy);
    }

    TProgramRun Cli(const std::vector<std::string>& args, std::time_t now, const std::string& fault = {}) {
        std::vector<std::string> env{"TZ=UTC", "TABLORA_NOW=" + std::to_string(now),
                                     "TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "TABLORA_LOCK_WAIT_MS=2000"};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    }

    TProgramRun ZipBackup(std::time_t now, int keep, const std::string& source, const std::string& fault = {}) {
        return Cli({"backup", "--dir", source, "--to-zip", zalohy + "/Orvan-%Y-%m-%d_%H%M.zip", "--keep",
                    std::to_string(keep), "--json"},
                   now, fault);
    }

    TempDir work;
    std::string db = work / "db";
    std::string zalohy = work / "zalohy";
};

TEST_F(CliDatedBackup, AZipBackupUnderTheDayNameKeepsTheNewestAndNothingElseGoes) {
    for (int d = 0; d < 3; ++d) ASSERT_EQ(ZipBackup(Dec9 + d * Day, 5, db).Code, ExitDone);
    std::ofstream(zalohy + "/Orvan-2026-12-09_1000.zip.bak") << "the operator's own copy";
    std::ofstream(zalohy + "/Orvan-2026-12-08_0960.zip") << "no such minute";
    std::ofstream(zalohy + "/Backup.zip") << "the window's backup";

    const TProgramRun run = ZipBackup(Dec9 + 3 * Day, 2, db);
    ASSERT_EQ(run.Code, ExitDone) << run.Output;
    EXPECT_NE(run.Output.find("\"backup\": \"" + zalohy + "/Orvan-2026-12-12_1000.zip\""), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("\"kept\": [\n      \"Orvan-2026-12-12_1000.zip\",\n      \"Orvan-2026-12-11_1000.zip\"\n"),
              std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("\"deleted\": [\n      \"Orvan-2026-12-10_1000.zip\",\n      \"Orvan-2026-12-09_1000.zip\"\n"),
              std::string::npos)
        << run.Output;
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(zalohy)) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Backup.zip", "Orvan-2026-12-08_0960.zip", "Orvan-2026-12-09_1000.zip.bak",
                                              "Orvan-2026-12-11_1000.zip", "Orvan-2026-12-12_1000.zip"}));

    // The listing judges every backup by its files, newest first; read back with --verify, one
    // with a broken entry is not whole.
    const TProgramRun list = Cli({"backups", "--in", zalohy, "--pattern", "Orvan-%Y-%m-%d_%H%M.zip"}, Dec9);
    EXPECT_EQ(list.Code, ExitDone) << list.Output;
    const auto newer = list.Output.find("2026-12-12 10:00:00  Orvan-2026-12-12_1000.zip  archive");
    const auto older = list.Output.find("2026-12-11 10:00:00  Orvan-2026-12-11_1000.zip  archive");
    EXPECT_TRUE(newer != std::string::npos && older != std::string::npos && newer < older) << list.Output;
    EXPECT_NE(list.Output.find(" 2 tables  whole\n"), std::string::npos) << list.Output;
    EXPECT_EQ(list.Output.find(".bak"), std::string::npos) << list.Output;

    std::string bytes = FileBytes(zalohy + "/Orvan-2026-12-11_1000.zip");
    bytes[bytes.size() / 4] = static_cast<char>(bytes[bytes.size() / 4] ^ 0x55);  // inside an entry's data
    std::ofstream(zalohy + "/Orvan-2026-12-11_1000.zip", std::ios::binary | std::ios::trunc) << bytes;
    const TProgramRun damaged =
        Cli({"backups", "--in", zalohy, "--pattern", "Orvan-%Y-%m-%d_%H%M.zip", "--verify", "--json"}, Dec9);
    EXPECT_EQ(damaged.Code, ExitProblem) << damaged.Output;
    EXPECT_NE(damaged.Output.find("\"whole\": false"), std::string::npos) << damaged.Output;
}

// A backup that fails deletes nothing, however many older ones there are beyond --keep.
TEST_F(CliDatedBackup, AFailedBackupDeletesNothing) {
    for (int d = 0; d < 3; ++d) ASSERT_EQ(ZipBackup(Dec9 + d * Day, 5, db).Code, ExitDone);
    const TFiles before = TreeBytes(zalohy);

    const std::string empty = work / "unmounted";
    fs::create_directories(empty);
    const TProgramRun none = ZipBackup(Dec9 + 3 * Day, 1, empty);
    EXPECT_EQ(none.Code, 3) << none.Output;
    EXPECT_NE(none.Output.find("\"done\": false"), std::string::npos) << none.Output;
    EXPECT_EQ(TreeBytes(zalohy), before);

    // An error (the database directory is gone) never reaches the rotation, and says so.
    const TProgramRun gone = ZipBackup(Dec9 + 3 * Day, 1, work / "gone");
    EXPECT_EQ(gone.Code, 3) << gone.Output;
    EXPECT_NE(gone.Output.find("\"done\": false,\n    \"notDone\": \"the backup failed\""), std::string::npos)
        << gone.Output;
    EXPECT_EQ(TreeBytes(zalohy), before);

    const TProgramRun full = ZipBackup(Dec9 + 4 * Day, 1, db, "ops=write;nth=1;errno=ENOSPC;persist;path=" + zalohy);
    EXPECT_EQ(full.Code, 3) << full.Output;
    EXPECT_NE(full.Output.find("no older backup deleted"), std::string::npos) << full.Output;
    EXPECT_EQ(TreeBytes(zalohy), before);
}

// A backup directory whose files cannot be deleted (read-only): the new backup stands, the old
// ones stay, and the run says so with "problem".
TEST_F(CliDatedBackup, OlderBackupsThatCannotBeDeletedAreReported) {
    for (int d = 0; d < 2; ++d) ASSERT_EQ(ZipBackup(Dec9 + d * Day, 5, db).Code, ExitDone);
    const TProgramRun run = ZipBackup(Dec9 + 2 * Day, 1, db, "ops=unlink;nth=1;errno=EROFS;persist;path=" + zalohy + "/Orvan-");
    EXPECT_EQ(run.Code, ExitProblem) << run.Output;
    EXPECT_NE(run.Output.find("older backup not deleted: Orvan-2026-12-10_1000.zip: cannot delete it (Read-only file system)"),
              std::string::npos)
        << run.Output;
    EXPECT_EQ(TreeBytes(zalohy).size(), 3u);
}

TEST_F(CliDatedBackup, DatedDirectoriesRotateAndOneWithForeignFilesIsLeftWhole) {
    const std::string pattern = zalohy + "/Orvan-%Y-%m-%d/";
    for (int d = 0; d < 3; ++d)
        ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", pattern}, Dec9 + d * Day).Code, ExitDone);
    std::ofstream(zalohy + "/Orvan-2026-12-10/poznamky.txt") << "notes";
    const TFiles foreign = TreeBytes(zalohy + "/Orvan-2026-12-10");

    const TProgramRun run = Cli({"backup", "--dir", db, "--to-dir", pattern, "--keep", "1"}, Dec9 + 3 * Day);
    EXPECT_EQ(run.Code, ExitProblem) << run.Output;
    EXPECT_NE(run.Output.find("deleted: Orvan-2026-12-09\n"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("deleted: Orvan-2026-12-11\n"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("not deleted: Orvan-2026-12-10 (it holds \"poznamky.txt\""), std::string::npos) << run.Output;
    EXPECT_EQ(TreeBytes(zalohy + "/Orvan-2026-12-10"), foreign);
    EXPECT_FALSE(fs::exists(zalohy + "/Orvan-2026-12-09"));
    // The new one is a whole copy of the database, with the record of its files beside.
    TFiles copied = TreeBytes(zalohy + "/Orvan-2026-12-12");
    EXPECT_EQ(copied.erase("tablora-backup.txt"), 1u);
    EXPECT_EQ(copied, TreeBytes(db));

    // A copy of a table that lost half its blocks reads back short: it pushes out no older backup.
    fs::resize_file(db + "/Hovory.DB", fs::file_size(db + "/Hovory.DB") / 2);
    fs::remove(zalohy + "/Orvan-2026-12-10/poznamky.txt");
    const TFiles before = TreeBytes(zalohy);
    const TProgramRun shortCopy = Cli({"backup", "--dir", db, "--to-dir", pattern, "--keep", "1"}, Dec9 + 4 * Day);
    EXPECT_EQ(shortCopy.Code, ExitProblem) << shortCopy.Output;
    EXPECT_NE(shortCopy.Output.find("no older backup deleted: the new backup does not read back whole"), std::string::npos)
        << shortCopy.Output;
    TFiles after = TreeBytes(zalohy);
    for (const auto& [name, bytes] : before) EXPECT_TRUE(after.count(name) && after.at(name) == bytes) << name;
}

// The damage check's directories, per table: the newest N runs stay, and the run just made
// whatever N is; other tables' runs and directories holding foreign files are not touched.
TEST_F(CliDatedBackup, CheckDamageKeepsTheNewestRunsOfEachTable) {
    const std::string root = db + "/Rekonstrukcia/";
    for (const char* run : {"Hovory 2020-01-01 100000", "Hovory 2020-01-02 100000", "Hovory 2020-01-02 100000 (2)",
                            "Hovory 2020-01-03 090000", "Linky 2020-01-01 100000", "Hovory_2 2020-01-01 100000"}) {
        fs::create_directories(root + run);
        std::ofstream(root + run + "/BACKUP.DB") << run;
        std::ofstream(root + run + "/BACKUP.X02") << run;
    }
    std::ofstream(root + "Hovory 2020-01-01 100000/readme.txt") << "kept by hand";
    std::ofstream(root + "Hovory 2020-01-99 100000") << "not a run";

    const TProgramRun all = Cli({"check-damage", "--dir", db, "--tables", "Hovory"}, Dec9);
    ASSERT_EQ(all.Code, ExitDone) << all.Output;
    std::vector<std::string> before;
    for (const auto& e : fs::directory_iterator(root)) before.push_back(e.path().filename());
    EXPECT_EQ(before.size(), 8u);  // without --keep-backups every run stays

    const TProgramRun run = Cli({"check-damage", "--dir", db, "--tables", "Hovory", "--keep-backups", "2", "--json"}, Dec9);
    EXPECT_EQ(run.Code, ExitProblem) << run.Output;  // the directory with readme.txt
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(root)) left.push_back(e.path().filename());
    std::sort(left.begin(), left.end());
    // The two newest Hovory runs are today's; of the 2020 ones only the refused one stays.
    ASSERT_EQ(left.size(), 6u) << run.Output;
    EXPECT_EQ(left[0], "Hovory 2020-01-01 100000");
    EXPECT_EQ(left[1], "Hovory 2020-01-99 100000");
    EXPECT_EQ(left[2].substr(0, 11), "Hovory 2026");
    EXPECT_EQ(left[3].substr(0, 11), "Hovory 2026");
    EXPECT_EQ(left[4], "Hovory_2 2020-01-01 100000");
    EXPECT_EQ(left[5], "Linky 2020-01-01 100000");
    EXPECT_NE(run.Output.find("\"Hovory 2020-01-03 090000\",\n        \"Hovory 2020-01-02 100000 (2)\",\n        "
                              "\"Hovory 2020-01-02 100000\"\n"),
              std::string::npos)
        << run.Output;
    EXPECT_TRUE(fs::exists(root + "Hovory 2020-01-01 100000/BACKUP.DB"));

    // Keeping one keeps the run just made.
    const TProgramRun none = Cli({"check-damage", "--dir", db, "--tables", "Hovory", "--keep-backups", "1"}, Dec9);
    std::size_t hovory = 0;
    for (const auto& e : fs::directory_iterator(root))
        hovory += e.path().filename().string().rfind("Hovory 20", 0) == 0 && e.is_directory();
    EXPECT_EQ(hovory, 2u) << none.Output;  // the new run and the refused one
}

// Without a pattern the listing takes every archive and every directory holding a table, by
// their modification times; what holds no table is no backup.
TEST_F(CliDatedBackup, TheListingWithoutAPatternFindsArchivesAndTableDirectories) {
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-zip", zalohy + "/stara.zip"}, Dec9).Code, ExitDone);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", zalohy + "/nova"}, Dec9).Code, ExitDone);
    fs::last_write_time(zalohy + "/stara.zip", fs::file_time_type::clock::now() - std::chrono::hours(48));
    fs::create_directories(zalohy + "/fotky");
    std::ofstream(zalohy + "/fotky/leto.jpg") << "jpg";
    std::ofstream(zalohy + "/poznamky.txt") << "notes";

    const TProgramRun list = Cli({"backups", "--in", zalohy, "--json"}, Dec9);
    EXPECT_EQ(list.Code, ExitDone) << list.Output;
    const auto nova = list.Output.find("\"name\": \"nova\",\n      \"path\": \"" + zalohy + "/nova\",\n      \"kind\": \"directory\"");
    const auto stara = list.Output.find("\"name\": \"stara.zip\",\n      \"path\": \"" + zalohy + "/stara.zip\",\n      \"kind\": \"archive\"");
    EXPECT_TRUE(nova != std::string::npos && stara != std::string::npos && nova < stara) << list.Output;
    EXPECT_EQ(list.Output.find("fotky"), std::string::npos) << list.Output;
    EXPECT_EQ(list.Output.find("poznamky"), std::string::npos) << list.Output;
    EXPECT_NE(list.Output.find("\"tables\": [\n        \"Hovory\",\n        \"Tel_zoz\"\n      ],\n      \"whole\": true"),
              std::string::npos)
        << list.Output;

    const TProgramRun nothing = Cli({"backups", "--in", zalohy + "/fotky"}, Dec9);
    EXPECT_EQ(nothing.Code, ExitProblem) << nothing.Output;
    EXPECT_NE(nothing.Output.find("no backup found"), std::string::npos) << nothing.Output;
}

// The list reads no rows, yet what the files themselves show still counts: an archive cut
// short or whose entry headers disagree with its central directory, a table file deleted from
// a directory backup. The read-back of --verify finds what only the data shows.
TEST_F(CliDatedBackup, TheListJudgesByTheFilesAndVerifyReadsTheData) {
    const std::string pattern = "Orvan-%Y-%m-%d_%H%M";
    for (int d = 0; d < 3; ++d)
        ASSERT_EQ(Cli({"backup", "--dir", db, "--to-zip", zalohy + "/" + pattern + ".zip"}, Dec9 + d * Day).Code, ExitDone);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", zalohy + "/" + pattern}, Dec9 + 3 * Day).Code, ExitDone);
    const auto list = [&](bool verify) {
        std::vector<std::string> args{"backups", "--in", zalohy};
        if (verify) args.push_back("--verify");
        return Cli(args, Dec9 + 4 * Day);
    };
    const auto lineOf = [](const TProgramRun& run, const std::string& name) {
        const auto at = run.Output.find(name);
        return at == std::string::npos ? std::string() : run.Output.substr(at, run.Output.find('\n', at) - at);
    };
    TProgramRun run = list(false);
    EXPECT_EQ(run.Code, ExitDone) << run.Output;
    EXPECT_NE(lineOf(run, "Orvan-2026-12-12_1000  directory").find("whole"), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.find("no record"), std::string::npos) << run.Output;

    // 09: cut short; 10: the second entry's local header overwritten; 11: a byte of data flipped.
    const std::string cut = zalohy + "/Orvan-2026-12-09_1000.zip", spliced = zalohy + "/Orvan-2026-12-10_1000.zip",
                      flipped = zalohy + "/Orvan-2026-12-11_1000.zip";
    fs::resize_file(cut, fs::file_size(cut) - 30);
    std::string bytes = FileBytes(spliced);
    const auto second = bytes.find("PK\x03\x04", 4);
    ASSERT_NE(second, std::string::npos);
    bytes[second + 26] = static_cast<char>(bytes[second + 26] + 1);  // the name's length
    std::ofstream(spliced, std::ios::binary | std::ios::trunc) << bytes;
    bytes = FileBytes(flipped);
    bytes[bytes.size() / 4] = static_cast<char>(bytes[bytes.size() / 4] ^ 0x55);
    std::ofstream(flipped, std::ios::binary | std::ios::trunc) << bytes;
    for (const char* extension : {".DB", ".MB", ".PX"}) fs::remove(zalohy + "/Orvan-2026-12-12_1000/Hovory" + extension);

    run = list(false);
    EXPECT_EQ(run.Code, ExitProblem) << run.Output;
    EXPECT_NE(lineOf(run, "Orvan-2026-12-09_1000.zip").find("NOT WHOLE"), std::string::npos) << run.Output;
    EXPECT_NE(lineOf(run, "Orvan-2026-12-10_1000.zip").find("NOT WHOLE"), std::string::npos) << run.Output;
    EXPECT_NE(lineOf(run, "Orvan-2026-12-12_1000  directory").find("NOT WHOLE: Hovory.DB: written by the backup"),
              std::string::npos)
        << run.Output;
    const TProgramRun verified = list(true);
    EXPECT_EQ(verified.Code, ExitProblem) << verified.Output;
    EXPECT_NE(lineOf(verified, "Orvan-2026-12-11_1000.zip").find("NOT WHOLE"), std::string::npos) << verified.Output;
    EXPECT_NE(lineOf(verified, "Orvan-2026-12-10_1000.zip").find("NOT WHOLE"), std::string::npos) << verified.Output;

    // A directory backup made before backups kept a record of their files is still judged by
    // what its files show, and says it has no record.
    fs::remove(zalohy + "/Orvan-2026-12-12_1000/tablora-backup.txt");
    run = list(false);
    EXPECT_NE(lineOf(run, "Orvan-2026-12-12_1000  directory").find("whole as far as its files show"), std::string::npos)
        << run.Output;
    fs::remove(zalohy + "/Orvan-2026-12-12_1000/Tel_zoz.mb");
    run = list(false);
    EXPECT_NE(lineOf(run, "Orvan-2026-12-12_1000  directory").find("NOT WHOLE"), std::string::npos) << run.Output;

    // A directory of the backups' name whose "table" has no header, and no record: no whole
    // backup, so a rotation would not count it in place of a real one.
    fs::create_directory(zalohy + "/Orvan-2026-12-13_1000");
    std::ofstream(zalohy + "/Orvan-2026-12-13_1000/Firmy.DB") << "y\n";
    run = list(false);
    EXPECT_NE(lineOf(run, "Orvan-2026-12-13_1000  directory").find("NOT WHOLE: table \"Firmy\": its data file Firmy.DB holds "
                                                                   "no readable table header"),
              std::string::npos)
        << run.Output;
}

// --verify counts every table's rows and names a table that lost half of them or more
// against the backup made the night before, or that the newer backup no longer holds.
TEST_F(CliDatedBackup, VerifyNamesATableThatLostHalfItsRows) {
    const std::string pattern = zalohy + "/Orvan-%Y-%m-%d";
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", pattern}, Dec9).Code, ExitDone);
    for (const char* extension : {".DB", ".MB", ".PX"}) fs::remove(db + "/Hovory" + extension);
    MakeCallTable(db + "/Hovory.DB", 20);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-zip", pattern + ".zip"}, Dec9 + Day).Code, ExitDone);
    for (const char* name : {"/Tel_zoz.db", "/Tel_zoz.mb"}) fs::remove(db + name);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", pattern}, Dec9 + 2 * Day).Code, ExitDone);
    // Listed without a pattern, backups go by their modification times.
    const auto age = [&](const std::string& name, int hours) {
        fs::last_write_time(zalohy + "/" + name, fs::file_time_type::clock::now() - std::chrono::hours(hours));
    };
    age("Orvan-2026-12-09", 3);
    age("Orvan-2026-12-10.zip", 2);
    age("Orvan-2026-12-11", 1);

    const TProgramRun run = Cli({"backups", "--in", zalohy, "--verify"}, Dec9 + 3 * Day);
    EXPECT_EQ(run.Code, ExitProblem) << run.Output;
    const auto newest = run.Output.find("Orvan-2026-12-11  directory"), middle = run.Output.find("Orvan-2026-12-10.zip"),
               oldest = run.Output.find("Orvan-2026-12-09  directory");
    ASSERT_TRUE(newest < middle && middle < oldest && oldest != std::string::npos) << run.Output;
    const std::string newer = run.Output.substr(newest, middle - newest), older = run.Output.substr(middle, oldest - middle);
    EXPECT_NE(newer.find("    Hovory: 20 rows (0 against the previous backup)\n"), std::string::npos) << run.Output;
    EXPECT_NE(newer.find("    Tel_zoz: MISSING, though the previous backup holds it (28 rows)"), std::string::npos)
        << run.Output;
    EXPECT_NE(older.find("    Hovory: 20 rows - LOST HALF ITS ROWS OR MORE: -20 against the previous backup (40 rows)"),
              std::string::npos)
        << run.Output;
    EXPECT_NE(older.find("    Tel_zoz: 28 rows (0 against"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.substr(oldest).find("    Hovory: 40 rows\n"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("tables that lost half their rows or more, or went missing: 2"), std::string::npos)
        << run.Output;

    const TProgramRun json = Cli({"backups", "--in", zalohy, "--verify", "--json"}, Dec9 + 3 * Day);
    EXPECT_NE(json.Output.find("\"table\": \"Hovory\",\n          \"problems\": [],\n          \"rows\": 20,\n"
                               "          \"rowsBefore\": 40,\n          \"rowsChange\": -20,\n          \"suddenLoss\": true"),
              std::string::npos)
        << json.Output;
    // Rows a newer backup gained are no loss: the oldest two alone are a problem-free list.
    fs::remove_all(zalohy + "/Orvan-2026-12-11");
    age("Orvan-2026-12-09", 1);
    EXPECT_EQ(Cli({"backups", "--in", zalohy, "--verify"}, Dec9 + 3 * Day).Code, ExitDone);
}

TEST_F(CliDatedBackup, KeepNeedsANameThatTellsItsBackupsApart) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"backup", "--dir", db, "--to-zip", zalohy + "/Backup.zip", "--keep", "3"},
          {"backup", "--dir", db, "--to-zip", zalohy + "/Orvan-%a.zip", "--keep", "3"},
          {"backup", "--dir", db, "--to-zip", zalohy + "/%Y/Orvan-%m.zip"},
          {"backup", "--dir", db, "--to-zip", zalohy + "/Orvan-%Y.zip", "--keep", "-1"},
          {"backups", "--in", zalohy, "--dir", db}}) {
        const TProgramRun run = Cli(args, Dec9);
        EXPECT_EQ(run.Code, ExitUsage) << run.Output;
    }
    EXPECT_TRUE(fs::is_empty(zalohy));
}

} // namespace
