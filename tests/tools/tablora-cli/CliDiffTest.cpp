// tablora-cli diff and restore --dry-run on demo databases changed by hand after their backup
// (rows appended and deleted, a memo edited, keys renumbered by the key repair), against
// both kinds of backup; a dry run leaves every byte of the database and the backup as it was,
// and a real restore then says how many rows of the database it replaced.
#include "tests/tools/tablora-cli/DemoDatabase.h"

#include <fstream>

namespace {

using namespace test;
using nlohmann::json;

void Pdx(const TempDir& work, const std::vector<std::string>& args) {
    const TProgramRun run = RunProgram(TABLORA_PDX, args, work / "pdx.out");
    ASSERT_EQ(run.Code, 0) << run.Output;
}

const json* Table(const json& result, const std::string& name) {
    for (const auto& t : result.at("tables"))
        if (t.at("name") == name) return &t;
    ADD_FAILURE() << "no table " << name << " in " << result.dump();
    return nullptr;
}

class CliDiff : public ::testing::Test {
protected:
    TempDir work;
    std::string db = work / "db";

    // A backup of kind `to` ("--to-dir" or "--to-zip"), then the changes made since: invoice 5
    // deleted, invoice 2's note edited (the memo), two invoices typed in.
    std::string BackUpThenChange(const std::string& to) {
        CopyDemoDatabase(false, db);
        const std::string target = work / (to == "--to-dir" ? "backup" : "backup.zip");
        EXPECT_EQ(RunCli(work.Path(), {"backup", "--dir", db, to, target}).Code, 0);
        const std::string invoices = db + "/Faktury";
        Pdx(work, {"delete", invoices, "--key", "5"});
        Pdx(work, {"delete", invoices, "--key", "2"});
        Pdx(work, {"append", invoices, "IDXFIELD=2", "Cislo=FA202500002", "Poznamka=zmenená poznámka"});
        Pdx(work, {"append", invoices, "Cislo=NOVA1"});
        Pdx(work, {"append", invoices, "Cislo=NOVA2"});
        return target;
    }
};

TEST_F(CliDiff, HandMadeChangesAreCountedAgainstBothKindsOfBackup) {
    for (const std::string to : {"--to-dir", "--to-zip"}) {
        SCOPED_TRACE(to);
        std::filesystem::remove_all(db);
        const std::string backup = BackUpThenChange(to);
        const std::string from = to == "--to-dir" ? "--from-dir" : "--from-zip";
        const TCliRun run = RunCli(work.Path(), {"diff", "--dir", db, from, backup, "--tables", "Faktury,Hovory", "--json"});
        EXPECT_EQ(run.Code, 1) << run.Err;  // a restore would change rows
        const json result = run.Json();
        EXPECT_EQ(result.at("totals"), (json{{"onlyInDatabase", 2}, {"onlyInBackup", 1}, {"differ", 1}}));
        const json* invoices = Table(result, "Faktury");
        ASSERT_TRUE(invoices);
        EXPECT_EQ(invoices->at("matchedBy"), "primaryKey");
        EXPECT_EQ(invoices->at("rows").at("onlyInBackup").at(0).at(0), "5");
        const json& changed = invoices->at("rows").at("differ").at(0);
        EXPECT_EQ(changed.at("database").at(0), "2");
        EXPECT_EQ(changed.at("database").back(), "zmenená poznámka");
        EXPECT_NE(changed.at("backup").back(), "zmenená poznámka");
        const json* calls = Table(result, "Hovory");
        ASSERT_TRUE(calls);
        EXPECT_EQ(calls->at("alike"), calls->at("databaseRows"));
        EXPECT_EQ(calls->at("differ"), 0);
    }
}

TEST_F(CliDiff, KeysRenumberedByTheKeyRepairShowAsRowsThatDiffer) {
    // Tel_zoz's counter lags; with call 50 deleted, the repair numbers the 150 calls after it afresh.
    CopyDemoDatabase(true, db);
    ASSERT_EQ(RunCli(work.Path(), {"backup", "--dir", db, "--to-dir", work / "backup"}).Code, 0);
    Pdx(work, {"delete", db + "/Tel_zoz", "--key", "50"});
    const TCliRun repair = RunCli(work.Path(), {"repair-keys", "--dir", db, "--tables", "Tel_zoz", "--json"});
    ASSERT_EQ(repair.Json().at("tables").at(0).at("result"), "repaired") << repair.Out;
    const TCliRun run =
        RunCli(work.Path(), {"diff", "--dir", db, "--from-dir", work / "backup", "--tables", "Tel_zoz", "--json"});
    EXPECT_EQ(run.Code, 1);
    const json result = run.Json();
    const json* t = Table(result, "Tel_zoz");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->at("state"), "compared");
    EXPECT_EQ(t->at("matchedBy"), "primaryKey");  // the backup's key, which the recreated table lacks
    EXPECT_EQ(t->at("alike"), 49);
    EXPECT_EQ(t->at("differ"), 150);
    EXPECT_EQ(t->at("onlyInDatabase"), 0);
    EXPECT_EQ(t->at("onlyInBackup"), 1);
    EXPECT_EQ(t->at("rows").at("onlyInBackup").at(0).at(0), "200");
    EXPECT_FALSE(t->at("notes").empty());
}

TEST_F(CliDiff, ADryRunChangesNoByteAndTheRestoreThenCountsTheRowsItReplaced) {
    const std::string backup = BackUpThenChange("--to-dir");
    const std::string zip = work / "backup.zip";
    ASSERT_EQ(RunCli(work.Path(), {"backup", "--dir", backup, "--to-zip", zip}).Code, 0);
    const auto dbBefore = TreeBytes(db), backupBefore = TreeBytes(backup);
    const std::string zipBefore = FileBytes(zip);

    for (const std::vector<std::string>& from : {std::vector<std::string>{"--from-dir", backup}, {"--from-zip", zip}}) {
        std::vector<std::string> args{"restore", "--dir", db, "--dry-run", "--rows"};
        args.insert(args.end(), from.begin(), from.end());
        const TCliRun run = RunCli(work.Path(), args);
        EXPECT_EQ(run.Code, 1) << run.Err;
        EXPECT_NE(run.Out.find("Dry run: nothing was restored."), std::string::npos) << run.Out;
        EXPECT_NE(run.Out.find("only in the database: 401 | NOVA1"), std::string::npos) << run.Out;
    }
    EXPECT_EQ(TreeBytes(db), dbBefore);
    EXPECT_EQ(TreeBytes(backup), backupBefore);
    EXPECT_EQ(FileBytes(zip), zipBefore);

    const TCliRun restore =
        RunCli(work.Path(), {"restore", "--dir", db, "--from-dir", backup, "--tables", "Faktury", "--json"});
    ASSERT_EQ(restore.Code, 0) << restore.Out << restore.Err;
    const json summary = restore.Json().at("summary");
    EXPECT_EQ(summary.at("databaseRowsReplaced"), 401) << summary;  // 400 - 1 + 2
    const json after = RunCli(work.Path(), {"diff", "--dir", db, "--from-dir", backup, "--tables", "Faktury", "--json"}).Json();
    EXPECT_EQ(after.at("exitCode"), 0);
}

TEST_F(CliDiff, TablesOnOneSideAndRefusedRunsAreSaid) {
    const std::string backup = BackUpThenChange("--to-dir");
    for (const auto& e : std::filesystem::directory_iterator(db))
        if (e.path().stem() == "Hovory") std::filesystem::remove(e.path());
    std::filesystem::copy_file(backup + "/Faktury.DB", db + "/Extra.DB");
    std::filesystem::copy_file(backup + "/Faktury.MB", db + "/Extra.MB");
    const json result =
        RunCli(work.Path(), {"diff", "--dir", db, "--from-dir", backup, "--tables", "Hovory,Extra", "--json"}).Json();
    const json* gone = Table(result, "Hovory");
    const json* added = Table(result, "Extra");
    ASSERT_TRUE(gone && added);
    EXPECT_EQ(gone->at("state"), "onlyInBackup");
    EXPECT_GT(gone->at("backupRows").get<int>(), 0);
    EXPECT_EQ(added->at("state"), "onlyInDatabase");
    EXPECT_EQ(added->at("databaseRows"), 400);

    // An archive holding a table's data file in two letter cases: a restore leaves the table.
    const std::string twice = work / "twice";
    std::filesystem::create_directory(twice);
    std::filesystem::copy_file(backup + "/Faktury.DB", twice + "/Faktury.DB");
    std::filesystem::copy_file(backup + "/Faktury.MB", twice + "/Faktury.MB");
    std::filesystem::copy_file(backup + "/Faktury.DB", twice + "/faktury.db");
    ASSERT_EQ(RunProgram("/bin/sh", {"-c", "cd '" + twice + "' && zip -q ../twice.zip *"}, work / "zip.out").Code, 0);
    const TCliRun fromTwice =
        RunCli(work.Path(), {"diff", "--dir", db, "--from-zip", work / "twice.zip", "--tables", "Faktury", "--json"});
    EXPECT_EQ(fromTwice.Code, 3);  // the one table asked for was not compared
    const json twiceResult = fromTwice.Json();
    const json* doubled = Table(twiceResult, "Faktury");
    ASSERT_TRUE(doubled);
    EXPECT_EQ(doubled->at("state"), "notRead");

    // A backup directory holding a table twice in two letter cases (the restore would use the
    // one spelled as the live table; a comparison of the other would say "no change").
    const std::string twins = work / "twins";
    std::filesystem::create_directory(twins);
    for (const char* ext : {".DB", ".MB"}) {
        std::filesystem::copy_file(backup + "/Faktury" + ext, twins + "/Faktury" + ext);
        std::filesystem::copy_file(db + "/Faktury" + ext, twins + "/FAKTURY" + ext);
    }
    const TCliRun fromTwins =
        RunCli(work.Path(), {"diff", "--dir", db, "--from-dir", twins, "--tables", "Faktury", "--json"});
    EXPECT_EQ(fromTwins.Code, 3) << "nothing was compared";
    const json twinsResult = fromTwins.Json();
    const json* ambiguous = Table(twinsResult, "Faktury");
    ASSERT_TRUE(ambiguous);
    EXPECT_EQ(ambiguous->at("state"), "notRead");

    // An archive whose central directory is damaged: no table is compared, and that is no
    // "done, with changes".
    const std::string zip = work / "whole.zip";
    ASSERT_EQ(RunCli(work.Path(), {"backup", "--dir", db, "--to-zip", zip}).Code, 0);
    std::string bytes = FileBytes(zip);
    const auto central = bytes.rfind(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    bytes[central + 20] = static_cast<char>(bytes[central + 20] ^ 0xff);
    std::ofstream(work / "damaged.zip", std::ios::binary) << bytes;
    EXPECT_EQ(RunCli(work.Path(), {"diff", "--dir", db, "--from-zip", work / "damaged.zip"}).Code, 3);

    EXPECT_EQ(RunCli(work.Path(), {"diff", "--dir", db, "--from-dir", backup, "--tables", "Nikde"}).Code, 3);
    EXPECT_EQ(RunCli(work.Path(), {"diff", "--dir", db, "--from-zip", work / "none.zip"}).Code, 3);
    EXPECT_EQ(RunCli(work.Path(), {"diff", "--dir", db}).Code, 2);
    EXPECT_EQ(RunCli(work.Path(), {"restore", "--dir", db, "--from-dir", backup, "--rows"}).Code, 2);
}

// What a diff unpacks from an archive and spills to disk goes with it: nothing of the
// billing data stays in the temporary directory.
TEST_F(CliDiff, NothingIsLeftInTheTemporaryDirectory) {
    const std::string zip = BackUpThenChange("--to-zip");
    const std::string temporary = work / "tmp";
    std::filesystem::create_directory(temporary);
    EXPECT_EQ(RunCli(work.Path(), {"diff", "--dir", db, "--from-zip", zip}, {"TMPDIR=" + temporary}).Code, 1);
    EXPECT_EQ(RunCli(work.Path(), {"backups", "--in", work.Path(), "--verify"}, {"TMPDIR=" + temporary}).Code, 0);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

} // namespace
