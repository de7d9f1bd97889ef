// tablora-cli commands on a real database directory: exit codes, output and the archive check.
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/ArchiveVerify.h"
#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"
#include "tools/tablora-cli/CliRunner.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace cli;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliRun : public ::testing::Test {
protected:
    test::TempDir program, db, out;

    void SetUp() override {
        rtl::OverrideProgramDirectory(program.Path());
        ::setenv(engine::EngineConfigEnvVar, (program / "engine.cfg").c_str(), 1);
        const std::string extdata = "Rparadox/inst/extdata/";
        std::filesystem::copy_file(test::Sample(extdata + "biolife.db"), db / "Tel_zoz.db");
        std::filesystem::copy_file(test::Sample(extdata + "biolife.mb"), db / "Tel_zoz.mb");
        std::filesystem::copy_file(test::Sample(extdata + "country.db"), db / "Brany.db");
        db.WriteFile("Brany.PX", "index");
    }
    void TearDown() override {
        ::unsetenv(engine::EngineConfigEnvVar);
        rtl::OverrideProgramDirectory("");
    }

    int Run(TCliOptions o, std::string* output = nullptr) {
        if (o.alias.empty() && o.dir.empty()) o.dir = db.Path();
        std::ostringstream s;
        const int code = RunCli(o, s);
        if (output) *output = s.str();
        return code;
    }
};

TEST_F(CliRun, ListPrintsEveryTableAndJsonSaysDone) {
    TCliOptions o;
    o.command = "list";
    std::string text;
    EXPECT_EQ(Run(o, &text), ExitDone);
    EXPECT_EQ(text, "Brany\nTel_zoz\n");
    o.json = true;
    EXPECT_EQ(Run(o, &text), ExitDone);
    EXPECT_NE(text.find("\"result\": \"done\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"name\": \"Tel_zoz\""), std::string::npos) << text;
}

TEST_F(CliRun, DirectoryBackupAndRestoreRoundTrip) {
    TCliOptions backup;
    backup.command = "backup";
    backup.toDir = out / "backup";
    backup.noIndexes = true;
    EXPECT_EQ(Run(backup), ExitDone);
    EXPECT_EQ(rtl::ListFiles(out / "backup", "*"),
              (std::vector<std::string>{"Brany.db", "tablora-backup.txt", "Tel_zoz.db", "Tel_zoz.mb"}));

    const std::string original = ReadAll(db / "Tel_zoz.db");
    db.WriteFile("Tel_zoz.db", "broken");
    TCliOptions restore;
    restore.command = "restore";
    restore.fromDir = out / "backup";
    restore.deleteIndexes = true;
    EXPECT_EQ(Run(restore), ExitDone);
    EXPECT_EQ(ReadAll(db / "Tel_zoz.db"), original);
    EXPECT_FALSE(rtl::FileExists(db / "Brany.PX"));
}

// A backup without indexes into a directory that holds an older backup with indexes says
// which stale index files it removed there.
TEST_F(CliRun, ABackupWithoutIndexesNamesTheStaleIndexesItRemoved) {
    TCliOptions backup;
    backup.command = "backup";
    backup.toDir = out / "backup";
    ASSERT_EQ(Run(backup), ExitDone);
    ASSERT_TRUE(rtl::FileExists(out / "backup/Brany.PX"));
    backup.noIndexes = true;
    std::string text;
    EXPECT_EQ(Run(backup, &text), ExitDone);
    EXPECT_EQ(text.substr(0, text.find("summary: ")), "removed stale index file from the backup directory: Brany.PX\n");
    EXPECT_FALSE(rtl::FileExists(out / "backup/Brany.PX"));
    out.WriteFile("backup/Brany.PX", "stale again");
    backup.json = true;
    EXPECT_EQ(Run(backup, &text), ExitDone);
    EXPECT_NE(text.find("\"staleIndexesRemoved\": [\n    \"Brany.PX\"\n  ]"), std::string::npos) << text;
}

TEST_F(CliRun, ZipBackupIsVerified) {
    TCliOptions o;
    o.command = "backup";
    o.toZip = out / "b.zip";
    o.verify = true;
    std::string json;
    o.json = true;
    EXPECT_EQ(Run(o, &json), ExitDone) << json;
    EXPECT_NE(json.find("\"entries\": 4"), std::string::npos) << json;
    EXPECT_NE(json.find("\"ok\": true"), std::string::npos) << json;
    const azip::TArchiveCheck check = azip::VerifyArchive(out / "b.zip");
    EXPECT_TRUE(check.Ok());
    EXPECT_EQ(check.entries, 4);
}

// A scheduled backup of a share that is not mounted must not end with "done".
TEST_F(CliRun, ABackupOfAnEmptySourceFailsAndKeepsTheLastBackup) {
    TCliOptions zip;
    zip.command = "backup";
    zip.toZip = out / "b.zip";
    ASSERT_EQ(Run(zip), ExitDone);
    const std::string archive = ReadAll(out / "b.zip");
    TCliOptions dir;
    dir.command = "backup";
    dir.toDir = out / "dir";
    ASSERT_EQ(Run(dir), ExitDone);

    for (const auto& name : rtl::ListFiles(db.Path(), "*")) rtl::DeleteFile(db / name);
    EXPECT_EQ(Run(zip), ExitError);
    EXPECT_TRUE(ReadAll(out / "b.zip") == archive);
    EXPECT_EQ(Run(dir), ExitError);
    EXPECT_EQ(rtl::ListFiles(out / "dir", "*").size(), 5u);  // three tables' files and the record
}

// A small file system of its own, unmounted when the test ends.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& size) {
        mounted_ = ::mount("tablora-test", dir_.Path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount(dir_.Path().c_str());
    }
    bool Mounted() const { return mounted_; }
    std::string operator/(const std::string& name) const { return dir_ / name; }

private:
    test::TempDir dir_;
    bool mounted_ = false;
};

// The disk fills while the new archive is written: last night's archive stays, and --verify
// must not vouch for it as if it were tonight's.
TEST_F(CliRun, VerifyAfterAFailedPackDoesNotVouchForTheOldArchive) {
    const SmallDisk disk("256k");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    for (const char* name : {"Tel_zoz.db", "Tel_zoz.mb"}) rtl::DeleteFile(db / name);
    TCliOptions o;
    o.command = "backup";
    o.toZip = disk / "b.zip";
    o.verify = true;
    o.json = true;
    std::string json;
    ASSERT_EQ(Run(o, &json), ExitDone) << json;
    const std::string lastNight = ReadAll(disk / "b.zip");

    std::string noise(400 * 1024, '\0');
    std::uint32_t x = 12345;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    db.WriteFile("Velka.db", noise);  // cannot be compressed, does not fit
    EXPECT_EQ(Run(o, &json), ExitError) << json;
    EXPECT_TRUE(ReadAll(disk / "b.zip") == lastNight);
    EXPECT_EQ(json.find("\"ok\": true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"skipped\": \"the backup did not write the archive\""), std::string::npos) << json;
}

TEST_F(CliRun, ErrorsEndWithExitCodeThree) {
    TCliOptions restore;
    restore.command = "restore";
    restore.fromDir = out / "missing";
    EXPECT_EQ(Run(restore), ExitError);

    TCliOptions alias;
    alias.command = "list";
    alias.alias = "NoSuchAlias";
    EXPECT_EQ(Run(alias), ExitError);

    TCliOptions dir;
    dir.command = "delete-indexes";
    dir.dir = out / "missing";
    EXPECT_EQ(Run(dir), ExitError);
}

TEST_F(CliRun, AMissingArchiveRestoresNothingAndFails) {
    TCliOptions o;
    o.command = "restore";
    o.fromZip = out / "missing.zip";
    EXPECT_EQ(Run(o), ExitError);
}

} // namespace

TEST_F(CliRun, CheckDamageReportsPerTableWhatWasKeptMovedAndWhereTheCompanionsAre) {
    std::filesystem::copy_file(test::Sample("paradoxdriver/src/test/resources/encrypt/encrypted.db"), db / "Heslo.db");
    TCliOptions o;
    o.command = "check-damage";
    o.tables = "Tel_zoz,Heslo,Brany";
    std::string text;
    // Tel_zoz was rebuilt before the run stopped at Heslo: it failed part way.
    EXPECT_EQ(Run(o, &text), ExitPartial);
    EXPECT_NE(text.find("Tel_zoz.db: rebuilt\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  kept: 28 rows in the rebuilt table\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  companions in: " + db.Path() + "/Rekonstrukcia/Tel_zoz "), std::string::npos) << text;
    EXPECT_NE(text.find("backup of the original table: BACKUP.DB BACKUP.MB"), std::string::npos) << text;
    EXPECT_NE(text.find("Heslo.db: not rebuilt\n  reason: An error occurred while working with the table \"Heslo.db\" !"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Brany: not processed (the run stopped before it)"), std::string::npos) << text;

    o.json = true;
    o.tables = "Tel_zoz";
    EXPECT_EQ(Run(o, &text), ExitDone);
    EXPECT_NE(text.find("\"rebuilds\": ["), std::string::npos) << text;
    EXPECT_NE(text.find("\"rowsKept\": 28"), std::string::npos) << text;
    EXPECT_NE(text.find("\"companionDirectory\": \"" + db.Path() + "/Rekonstrukcia/Tel_zoz "), std::string::npos)
        << text;
    EXPECT_NE(text.find("\"notProcessed\": []"), std::string::npos) << text;
}

// A table rebuilt without rows its header counts (its file cut inside the last block) is no
// plain success: the run names how many were not found and ends as a problem.
// A table refused for its header: --structure-from rebuilds it under its copy in a backup and
// names that backup; --backups-in finds the copy itself; a backup without the table says so.
TEST_F(CliRun, CheckDamageTakesARefusedTablesStructureFromABackup) {
    const auto rows = test::ReadRows(db / "Brany.db");
    TCliOptions backup;
    backup.command = "backup";
    backup.toZip = out / "Orvan-2026-12-09_2300.zip";
    ASSERT_EQ(Run(backup), ExitDone);
    std::string bytes = ReadAll(db / "Brany.db");
    bytes[0x21] = static_cast<char>(bytes[0x21] + 1);
    std::ofstream(db / "Brany.db", std::ios::binary | std::ios::trunc) << bytes;

    TCliOptions o;
    o.command = "check-damage";
    o.tables = "Brany";
    std::string text;
    EXPECT_EQ(Run(o, &text), ExitError);
    EXPECT_NE(text.find("Brany.db: not rebuilt\n"), std::string::npos) << text;

    o.structureFrom = out / "none.zip";  // no such backup
    EXPECT_EQ(Run(o, &text), ExitError);
    EXPECT_NE(text.find("Brany.db: not rebuilt\n"), std::string::npos) << text;
    EXPECT_EQ(ReadAll(db / "Brany.db"), bytes);

    o.structureFrom.clear();
    o.backupsIn = out.Path();
    o.json = true;
    EXPECT_EQ(Run(o, &text), ExitProblem);
    EXPECT_NE(text.find("\"structureFrom\": \"" + backup.toZip + "/Brany.db\""), std::string::npos) << text;
    EXPECT_EQ(test::ReadRows(db / "Brany.db"), rows);

    std::ofstream(db / "Brany.db", std::ios::binary | std::ios::trunc) << bytes;
    o.backupsIn.clear();
    o.json = false;
    o.structureFrom = backup.toZip;
    EXPECT_EQ(Run(o, &text), ExitProblem);
    EXPECT_NE(text.find("Brany.db: rebuilt\n  structure taken from " + backup.toZip + "/Brany.db\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(test::ReadRows(db / "Brany.db"), rows);
}

TEST_F(CliRun, CheckDamageSaysHowManyRowsTheHeaderCountedWereNotFound) {
    for (const char* ext : {".DB", ".PX"})
        std::filesystem::copy_file(test::Sample(std::string("paradoxdriver/src/test/resources/db/ORDERS") + ext),
                                   db / (std::string("Objednavky") + ext));
    // ORDERS: 224 rows of 71 bytes in 8 blocks of 2 KiB after a 2 KiB header.
    std::filesystem::resize_file(db / "Objednavky.DB", 2048 + 7 * 2048 + 6 + 35);
    TCliOptions o;
    o.command = "check-damage";
    o.tables = "Objednavky";
    o.json = true;
    std::string json;
    EXPECT_EQ(Run(o, &json), ExitProblem);
    const std::size_t at = json.find("\"rowsNotFound\": ");
    ASSERT_NE(at, std::string::npos) << json;
    const long missing = std::strtol(json.c_str() + at + 16, nullptr, 10);
    EXPECT_GT(missing, 0) << json;
    o.json = false;
    std::string text;
    // The first run rebuilt the table whole from what was left: the second finds nothing missing.
    EXPECT_EQ(Run(o, &text), ExitDone);
    EXPECT_NE(text.find("Objednavky.DB: rebuilt\n"), std::string::npos) << text;

    for (const char* ext : {".DB", ".PX"}) std::filesystem::remove(db / (std::string("Objednavky") + ext));
    for (const char* ext : {".DB", ".PX"})
        std::filesystem::copy_file(test::Sample(std::string("paradoxdriver/src/test/resources/db/ORDERS") + ext),
                                   db / (std::string("Objednavky") + ext));
    std::filesystem::resize_file(db / "Objednavky.DB", 2048 + 7 * 2048 + 6 + 35);
    EXPECT_EQ(Run(o, &text), ExitProblem);
    EXPECT_NE(text.find("Objednavky.DB: rebuilt, but " + std::to_string(missing) +
                        " rows counted by the header were not found\n"),
              std::string::npos)
        << text;
}
