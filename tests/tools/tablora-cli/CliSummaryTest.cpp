// What tablora-cli says at the end of each run, read back from --json as a monitoring script
// reads it: what was made, used, written, left out and not done; and the tables a nightly run
// is told to leave out; and, for a table that lost most of its rows, the backup that still
// holds them.
#include "tests/tools/tablora-cli/DemoDatabase.h"

#include <fstream>

#include <sys/stat.h>
#include <utime.h>

namespace {

using namespace test;
namespace fs = std::filesystem;
using nlohmann::json;

// The tables the damaged demo holds damaged.
const std::string DamagedTables = "Tel_zoz,Faktury,Firmy,Reports,Operatori,Users";

std::vector<std::string> Names(const json& list, const char* key = "table") {
    std::vector<std::string> names;
    for (const auto& item : list) names.push_back(item.at(key).get<std::string>());
    return names;
}

class CliSummary : public ::testing::Test {
protected:
    TempDir work;
    std::string db = work / "db";
};

TEST_F(CliSummary, EveryCommandEndsWithASummaryOfWhatItDid) {
    CopyDemoDatabase(true, db);
    const std::string zip = work / "zalohy/b.zip";

    const json backup = RunCli(work.Path(), {"backup", "--dir", db, "--to-zip", zip, "--json"}).Json();
    const json& made = backup.at("summary");
    EXPECT_EQ(made.at("result"), "done");
    EXPECT_EQ(made.at("backupMade"), zip);
    EXPECT_GE(made.at("seconds").get<double>(), 0.0);
    for (const char* field : {"tablesBackedUp", "filesWritten", "bytesWritten", "filesDeleted"})
        EXPECT_TRUE(made.contains(field)) << field << made.dump();

    const TCliRun restoreRun = RunCli(work.Path(), {"restore", "--dir", db, "--from-zip", zip, "--json"});
    const json restored = restoreRun.Json().at("summary");
    EXPECT_EQ(restoreRun.Code, 0) << restoreRun.Err;
    EXPECT_EQ(restored.at("backupUsed"), zip);
    for (const char* field : {"tablesRestored", "filesReplaced", "filesWritten", "filesDeleted", "bytesWritten"})
        EXPECT_TRUE(restored.contains(field)) << field << restored.dump();

    const json damage = RunCli(work.Path(), {"check-damage", "--dir", db, "--tables", "Firmy,Users,Hovory", "--json"}).Json();
    const json& stopped = damage.at("summary");
    EXPECT_EQ(stopped.at("result"), "partial");
    EXPECT_EQ(stopped.at("tablesRebuilt"), 1);
    EXPECT_EQ(stopped.at("rowsNotFound"), 7);
    EXPECT_EQ(stopped.at("tablesNotProcessed"), 1);
    EXPECT_EQ(Names(stopped.at("notDone")), (std::vector<std::string>{"Users.db", "Hovory"}));
    EXPECT_NE(stopped.at("notDone")[0].at("why").get<std::string>().find("Users.db"), std::string::npos);

    const json keys = RunCli(work.Path(), {"repair-keys", "--dir", db, "--tables", "Tel_zoz,Hovory", "--json"}).Json();
    EXPECT_EQ(keys.at("summary").at("tablesRecreated"), 1);
    EXPECT_EQ(keys.at("summary").at("tablesPassed"), 1);

    const std::string sqlite = work / "x.sqlite";
    const json exported = RunCli(work.Path(), {"export", "--dir", db, "--to-sqlite", sqlite, "--json"}).Json();
    const json& written = exported.at("summary");
    EXPECT_EQ(written.at("filesWritten"), 1);
    EXPECT_EQ(written.at("bytesWritten").get<std::uint64_t>(), fs::file_size(sqlite));
    EXPECT_EQ(written.at("tablesExported"), 58);
    EXPECT_EQ(Names(written.at("notDone")), std::vector<std::string>{"Users"});

    const json list = RunCli(work.Path(), {"list", "--dir", db, "--json"}).Json();
    EXPECT_EQ(list.at("summary").at("tables"), 59);

    // The text ends the same way.
    const TCliRun text = RunCli(work.Path(), {"check-damage", "--dir", db, "--tables", "Users"});
    EXPECT_NE(text.Out.find("summary: check-damage failed, nothing changed in "), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("  not done: Users.db ("), std::string::npos) << text.Out;
}

// Counts the backup, restore and index deletion runs report as the module gives them.
TEST_F(CliSummary, BackupRestoreAndIndexDeletionCountTheFilesTheyWrote) {
    CopyDemoDatabase(false, db);
    const json backup = RunCli(work.Path(), {"backup", "--dir", db, "--to-dir", work / "b", "--json"}).Json();
    if (backup.at("summary").at("filesWritten") == 0) GTEST_SKIP() << "the module does not count the files it writes yet";
    // The tables' files are counted; the backup's record of them beside is not one of them.
    std::uint64_t bytes = 0;
    for (const auto& e : fs::directory_iterator(work / "b"))
        if (e.path().filename() != "tablora-backup.txt") bytes += fs::file_size(e.path());
    EXPECT_EQ(backup.at("summary").at("filesWritten").get<std::size_t>(), TreeBytes(work / "b").size() - 1);
    EXPECT_EQ(backup.at("summary").at("bytesWritten").get<std::uint64_t>(), bytes);
    EXPECT_EQ(backup.at("summary").at("tablesBackedUp"), 59);
    const json restore = RunCli(work.Path(), {"restore", "--dir", db, "--from-dir", work / "b", "--delete-indexes", "--json"}).Json();
    EXPECT_EQ(restore.at("summary").at("tablesRestored"), 59);
    EXPECT_GT(restore.at("summary").at("indexFilesDeleted").get<int>(), 0);
}

// One password-protected table need not fail every nightly check and export: left out by
// name, it is named as left out, and what is left is healthy.
TEST_F(CliSummary, ExcludedTablesAreLeftOutAndNamed) {
    CopyDemoDatabase(true, db);
    const TCliRun check = RunCli(work.Path(), {"check", "--dir", db, "--all", "--exclude", DamagedTables, "--json"});
    EXPECT_EQ(check.Code, 0) << check.Out << check.Err;
    const json report = check.Json();
    EXPECT_EQ(report.at("excludedTables").size(), 6u);
    EXPECT_EQ(report.at("tables").size(), 53u);
    EXPECT_EQ(Names(report.at("summary").at("excluded")).size(), 6u);
    const TCliRun text = RunCli(work.Path(), {"check", "--dir", db, "--all", "--exclude", DamagedTables});
    EXPECT_NE(text.Out.find("excluded: Faktury, Firmy, Operatori, Reports, Tel_zoz, Users\n"), std::string::npos) << text.Out;

    const TCliRun exported =
        RunCli(work.Path(), {"export", "--dir", db, "--to-csv", work / "csv", "--exclude", "users,Faktury,Firmy,Reports", "--json"});
    EXPECT_EQ(exported.Code, 0) << exported.Out << exported.Err;
    EXPECT_FALSE(fs::exists(work / "csv/Users.csv"));
    EXPECT_TRUE(fs::exists(work / "csv/Hovory.csv"));
    EXPECT_EQ(Names(exported.Json().at("summary").at("excluded")),
              (std::vector<std::string>{"Faktury", "Firmy", "Reports", "Users"}));

    const TCliRun backup = RunCli(work.Path(), {"backup", "--dir", db, "--to-zip", work / "b.zip", "--exclude", "Users", "--json"});
    EXPECT_EQ(backup.Code, 0) << backup.Err;
    EXPECT_EQ(Names(backup.Json().at("summary").at("excluded")), std::vector<std::string>{"Users"});
    // Excluding every table leaves nothing to do: refused, not read as "every table".
    std::string all;
    for (const auto& e : fs::directory_iterator(db))
        if (e.path().extension() == ".DB") all += (all.empty() ? "" : ",") + e.path().stem().string();
    const TCliRun none = RunCli(work.Path(), {"backup", "--dir", db, "--to-zip", work / "none.zip", "--exclude", all});
    EXPECT_EQ(none.Code, 3) << none.Out << none.Err;
    EXPECT_FALSE(fs::exists(work / "none.zip"));
}

// The call table cut in half: the damage check would keep half the calls. The advice names the
// newest whole backup that holds them all, passing over a newer one that is damaged and one
// made after the cut.
TEST_F(CliSummary, ATableThatLostMostRowsIsToldTheBackupThatHoldsThem) {
    CopyDemoDatabase(false, db);
    const std::string zalohy = work / "zalohy";
    const auto backupAt = [&](const std::string& name, std::time_t when) {
        ASSERT_EQ(RunCli(work.Path(), {"backup", "--dir", db, "--to-zip", zalohy + "/" + name}).Code, 0);
        const utimbuf times{when, when};
        ::utime((zalohy + "/" + name).c_str(), &times);
    };
    backupAt("whole.zip", 1700000000);
    backupAt("damaged.zip", 1700100000);
    std::string bytes = FileBytes(zalohy + "/damaged.zip");
    bytes[bytes.size() / 3] = static_cast<char>(bytes[bytes.size() / 3] ^ 0x55);
    std::ofstream(zalohy + "/damaged.zip", std::ios::binary | std::ios::trunc) << bytes;
    const utimbuf damagedTime{1700100000, 1700100000};
    ::utime((zalohy + "/damaged.zip").c_str(), &damagedTime);

    const std::string hovory = db + "/Hovory.DB";
    fs::resize_file(hovory, 2048 + (fs::file_size(hovory) - 2048) / 3);
    backupAt("after-the-cut.zip", 1700200000);

    const TCliRun run = RunCli(work.Path(), {"check", "--dir", db, "--all", "--backups-in", zalohy, "--json"});
    EXPECT_EQ(run.Code, 1) << run.Err;
    const json report = run.Json();
    const json* advice = nullptr;
    bool damageCheck = false;
    for (const auto& a : report.at("advice")) {
        if (a.at("tool") == "restore-from-backup") advice = &a;
        damageCheck = damageCheck || a.at("tool") == "check-damage";
    }
    ASSERT_NE(advice, nullptr) << report.dump(2);
    EXPECT_TRUE(damageCheck);
    EXPECT_EQ(advice->at("tables"), json::array({"Hovory"}));
    EXPECT_EQ(advice->at("backup"), zalohy + "/whole.zip");
    EXPECT_EQ(advice->at("backupRows"), 300);
    EXPECT_LT(advice->at("rowsNow").get<int>(), 150);
    const std::string text = advice->at("text");
    EXPECT_NE(text.find("tablora-cli restore --dir " + db + " --from-zip " + zalohy + "/whole.zip --tables Hovory"),
              std::string::npos)
        << text;

    // Followed, the advice brings every call back.
    const TCliRun restore = RunCli(work.Path(), {"restore", "--dir", db, "--from-zip", zalohy + "/whole.zip", "--tables", "Hovory"});
    EXPECT_EQ(restore.Code, 0) << restore.Out << restore.Err;
    const json after = RunCli(work.Path(), {"check", "--dir", db, "--tables", "Hovory", "--json"}).Json();
    EXPECT_EQ(after.at("tables")[0].at("rowsReadable"), 300);
}

} // namespace
