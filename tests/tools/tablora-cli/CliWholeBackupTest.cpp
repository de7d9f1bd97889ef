// Backups and restores that never leave things worse and do only what they were asked, run as
// the operator runs them: tablora-cli as a real process, faults and kills struck inside it
// through TABLORA_FS_FAULT, the result judged by the bytes of every table's files and by the
// billing application's reader (pxlib).
#include "tests/database/CallTables.h"
#include "tests/support/ForeignReader.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;

constexpr int ExitDone = 0, ExitProblem = 1, ExitError = 3;

// Every regular file below `dir`, hidden ones included, by relative path.
TFiles Tree(const std::string& dir) {
    TFiles files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file() && !e.is_symlink()) files[fs::relative(e.path(), dir).string()] = FileBytes(e.path());
    return files;
}

// Names in `dir` that runs of ours make for their own work.
std::vector<std::string> WorkNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(".tablora-") != std::string::npos) names.push_back(e.path().filename());
    return names;
}

const std::vector<std::string> Tables{"Firmy", "Hovory"};

class CliWholeBackup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(db);
        MakeCallTable(db + "/Hovory.DB", 30);
        MakeCallTable(db + "/Firmy.DB", 10);
    }

    TProgramRun Cli(const std::vector<std::string>& args, const std::string& fault = {}) {
        std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "TABLORA_LOCK_WAIT_MS=2000",
                                     "TZ=UTC"};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    }

    // `table` in the database made anew with `rows` rows, as the billing application writes it.
    void Rewrite(const std::string& table, std::uint64_t rows) {
        for (const char* extension : {".DB", ".MB", ".PX"}) fs::remove(db + "/" + table + extension);
        MakeCallTable(db + "/" + table + ".DB", rows);
    }

    // A database of other rows, memo texts included, in `dir`.
    static void OtherGeneration(const std::string& dir) {
        fs::create_directories(dir);
        std::uint64_t shift = 1000;
        for (const std::string& table : Tables) {
            MakeTable(dir + "/" + table + ".DB", CallLayout(), 20,
                      [shift](std::uint64_t i, int f) { return CallValue(i + shift, f); });
            shift += 1000;
        }
    }

    TempDir work;
    std::string db = work / "db";
};

TEST_F(CliWholeBackup, RestoreBackupAndIndexDeletionOfSomeTablesTouchOnlyThose) {
    const std::string zip = work / "zaloha.zip", dir = work / "zaloha";
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-zip", zip}).Code, ExitDone);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", dir}).Code, ExitDone);
    const TFiles hovoryBackedUp = MemberBytes(db, "Hovory");
    // That morning a company was added, and Hovory went wrong.
    Rewrite("Firmy", 11);
    Rewrite("Hovory", 5);
    const TFiles firmyNow = MemberBytes(db, "Firmy");

    TProgramRun run = Cli({"restore", "--dir", db, "--from-zip", zip, "--tables", "hovory"});
    EXPECT_EQ(run.Code, ExitDone) << run.Output;
    EXPECT_TRUE(MemberBytes(db, "Hovory") == hovoryBackedUp);
    EXPECT_TRUE(MemberBytes(db, "Firmy") == firmyNow);
    EXPECT_EQ(ReadTableWithPxlib(db + "/Firmy.DB").size(), 11u);

    // A backup of Firmy alone leaves the backup's Hovory as it was; into the archive that holds
    // Hovory too it is refused, as it would drop that table.
    const TFiles hovoryInBackup = MemberBytes(dir, "Hovory");
    run = Cli({"backup", "--dir", db, "--to-dir", dir, "--tables", "Firmy"});
    EXPECT_EQ(run.Code, ExitDone) << run.Output;
    EXPECT_TRUE(MemberBytes(dir, "Hovory") == hovoryInBackup);
    EXPECT_TRUE(MemberBytes(dir, "Firmy") == firmyNow);
    const std::string archive = FileBytes(zip);
    run = Cli({"backup", "--dir", db, "--to-zip", zip, "--tables", "Firmy"});
    EXPECT_EQ(run.Code, ExitError) << run.Output;
    EXPECT_NE(run.Output.find("\"Hovory\""), std::string::npos) << run.Output;
    EXPECT_TRUE(FileBytes(zip) == archive);

    // Index deletion of one table leaves the other's index.
    const std::string firmyIndex = FileBytes(db + "/Firmy.PX");
    ASSERT_FALSE(firmyIndex.empty());
    run = Cli({"delete-indexes", "--dir", db, "--tables", "Hovory"});
    EXPECT_EQ(run.Code, ExitDone) << run.Output;
    EXPECT_FALSE(fs::exists(db + "/Hovory.PX"));
    EXPECT_TRUE(FileBytes(db + "/Firmy.PX") == firmyIndex);

    // A table nobody holds is refused before anything is touched.
    const TFiles before = Tree(db);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"restore", "--from-zip", zip}, {"delete-indexes"}, {"backup", "--to-dir", dir}}) {
        std::vector<std::string> line = args;
        line.insert(line.end(), {"--dir", db, "--tables", "Hovory,Linky"});
        run = Cli(line);
        EXPECT_EQ(run.Code, ExitError) << args[0] << ": " << run.Output;
        EXPECT_NE(run.Output.find("\"Linky\""), std::string::npos) << run.Output;
    }
    EXPECT_TRUE(Tree(db) == before);
}

// A backup that lacks a table's data file, or the memo file its fields need, is no whole
// backup: the listing says so, and a restore from it is refused with the table named.
TEST_F(CliWholeBackup, ABackupMissingAFileIsListedNotWholeAndRefused) {
    const std::string zalohy = work / "zalohy";
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", zalohy + "/bez-dat"}).Code, ExitDone);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", zalohy + "/bez-memo"}).Code, ExitDone);
    fs::remove(zalohy + "/bez-dat/Firmy.DB");
    fs::remove(zalohy + "/bez-memo/Hovory.MB");
    ASSERT_EQ(Cli({"backup", "--dir", zalohy + "/bez-dat", "--to-zip", zalohy + "/bez-dat.zip"}).Code, ExitDone);

    const TProgramRun listing = Cli({"backups", "--in", zalohy});
    EXPECT_EQ(listing.Code, ExitProblem) << listing.Output;
    for (const char* name : {"bez-dat  directory", "bez-memo  directory", "bez-dat.zip  archive"}) {
        const auto at = listing.Output.find(name);
        ASSERT_NE(at, std::string::npos) << listing.Output;
        EXPECT_NE(listing.Output.substr(at, listing.Output.find('\n', at) - at).find("NOT WHOLE"), std::string::npos)
            << name << "\n" << listing.Output;
    }

    const TFiles before = Tree(db);
    for (const auto& [from, says] : {std::pair{std::string("--from-dir"), std::string("bez-dat")},
                                     std::pair{std::string("--from-zip"), std::string("bez-dat.zip")},
                                     std::pair{std::string("--from-dir"), std::string("bez-memo")}}) {
        const TProgramRun run = Cli({"restore", "--dir", db, from, zalohy + "/" + says});
        EXPECT_EQ(run.Code, ExitError) << says << ": " << run.Output;
        EXPECT_NE(run.Output.find(says == "bez-memo" ? "\"Hovory\"" : "\"Firmy\""), std::string::npos) << run.Output;
        EXPECT_NE(run.Output.find("Nothing was restored; the database is unchanged."), std::string::npos) << run.Output;
        EXPECT_TRUE(Tree(db) == before) << says;
        EXPECT_TRUE(WorkNames(db).empty());
    }
}

// A full disk or a read-only file system is told as what it is, and nothing changes: no
// question per file that no answer could help, no internal file named as the user's.
TEST_F(CliWholeBackup, AFullOrReadOnlyDiskIsToldAsSuchAndChangesNothing) {
    const std::string zip = work / "zaloha.zip", dir = work / "zaloha";
    OtherGeneration(work / "old");
    ASSERT_EQ(Cli({"backup", "--dir", work / "old", "--to-zip", zip}).Code, ExitDone);
    ASSERT_EQ(Cli({"backup", "--dir", work / "old", "--to-dir", dir}).Code, ExitDone);
    const TFiles before = Tree(db);
    const std::string full = "ops=write,copy-range;nth=2;errno=ENOSPC;persist;path=" + db;
    for (const auto& from : {std::vector<std::string>{"--from-dir", dir}, {"--from-zip", zip, "--yes"}}) {
        std::vector<std::string> line{"restore", "--dir", db};
        line.insert(line.end(), from.begin(), from.end());
        const TProgramRun run = Cli(line, full);
        EXPECT_EQ(run.Code, ExitError) << run.Output;
        EXPECT_NE(run.Output.find("No space left on device"), std::string::npos) << run.Output;
        EXPECT_NE(run.Output.find("Nothing was restored; the database is unchanged."), std::string::npos) << run.Output;
        EXPECT_EQ(run.Output.find("Ignorovať"), std::string::npos) << run.Output;
        EXPECT_TRUE(Tree(db) == before);
        EXPECT_TRUE(WorkNames(db).empty());
    }

    const std::string readOnly = "ops=mkdir;nth=1;errno=EROFS;persist;path=";
    TProgramRun run = Cli({"restore", "--dir", db, "--from-zip", zip}, readOnly + db);
    EXPECT_EQ(run.Code, ExitError) << run.Output;
    EXPECT_NE(run.Output.find("Read-only file system"), std::string::npos) << run.Output;
    EXPECT_NE(run.Output.find("Nothing was restored; the database is unchanged."), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.find(".tablora-"), std::string::npos) << run.Output;
    EXPECT_TRUE(Tree(db) == before);

    run = Cli({"backup", "--dir", db, "--to-dir", work / "nova/zaloha"}, readOnly + work / "nova");
    EXPECT_EQ(run.Code, ExitError) << run.Output;
    EXPECT_NE(run.Output.find("Read-only file system"), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.find("No such file"), std::string::npos) << run.Output;
}

// A directory backup over last night's, killed at every rename, removal and flush it makes:
// the target then holds last night's backup or tonight's, whole, never some tables of each,
// and the next backup clears what the killed one left.
TEST_F(CliWholeBackup, ADirectoryBackupKilledAnywhereLeavesOneWholeBackup) {
    const std::string target = work / "zalohy/zaloha", saved = work / "saved";
    OtherGeneration(work / "old");
    ASSERT_EQ(Cli({"backup", "--dir", work / "old", "--to-dir", target}).Code, ExitDone);
    fs::copy(target, saved);
    std::map<std::string, std::vector<TFiles>> generations;
    for (const std::string& table : Tables)
        generations[table] = {MemberBytes(work / "old", table), MemberBytes(db, table)};

    const std::string strikes = "ops=rename,unlink,sync-dir,mkdir;path=" + work / "zalohy";
    const std::vector<std::string> backup{"backup", "--dir", db, "--to-dir", target};
    ASSERT_EQ(Cli(backup, strikes + ";count=" + work / "count").Code, ExitDone);
    std::uint64_t steps = 0;
    std::ifstream(work / "count") >> steps;
    ASSERT_GT(steps, 3u);
    std::set<int> seen;
    for (std::uint64_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE("killed at step " + std::to_string(k) + " of " + std::to_string(steps));
        fs::remove_all(work / "zalohy");
        fs::create_directories(work / "zalohy");
        fs::copy(saved, target);
        ASSERT_EQ(Cli(backup, strikes + ";nth=" + std::to_string(k) + ";kill").Code, -1);
        std::set<int> of;
        for (const std::string& table : Tables) {
            const TFiles now = MemberBytes(target, table);
            of.insert(now == generations[table][0] ? 0 : now == generations[table][1] ? 1 : -1);
        }
        EXPECT_EQ(of.size(), 1u) << "the backup mixes the two nights' tables";
        EXPECT_EQ(of.count(-1), 0u) << "a table mixes the two nights' files";
        seen.insert(*of.begin());
        const TProgramRun listing = Cli({"backups", "--in", work / "zalohy"});
        EXPECT_EQ(listing.Code, ExitDone) << listing.Output;
        const TProgramRun next = Cli(backup);
        EXPECT_EQ(next.Code, ExitDone) << next.Output;
        EXPECT_TRUE(WorkNames(work / "zalohy").empty());
        for (const std::string& table : Tables) EXPECT_TRUE(MemberBytes(target, table) == generations[table][1]);
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1}));
}

// A rotation killed while it deletes an old dated directory: no listing ever takes what is
// left of it for a whole backup, and the next rotation clears it.
TEST_F(CliWholeBackup, ARotationKilledAnywhereShowsNoPartialBackup) {
    const std::string zalohy = work / "zalohy", saved = work / "saved";
    const std::string pattern = zalohy + "/Orvan-%Y-%m-%d";
    constexpr std::time_t Dec9 = 1796810400, Day = 86400;
    const auto at = [&](std::time_t when) { return "TABLORA_NOW=" + std::to_string(when); };
    const auto dated = [&](std::time_t when, const std::string& fault = {}, bool keep = true) {
        std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "TZ=UTC", at(when)};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        std::vector<std::string> args{"backup", "--dir", db, "--to-dir", pattern};
        if (keep) args.insert(args.end(), {"--keep", "1"});
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    };
    for (int d = 0; d < 2; ++d) ASSERT_EQ(dated(Dec9 + d * Day, {}, false).Code, ExitDone);
    fs::copy(zalohy, saved, fs::copy_options::recursive);

    const std::string strikes = "ops=rename,unlink,sync-dir;path=" + zalohy;
    ASSERT_EQ(dated(Dec9 + 2 * Day, strikes + ";count=" + work / "count").Code, ExitDone);
    std::uint64_t steps = 0;
    std::ifstream(work / "count") >> steps;
    for (std::uint64_t k = 1; k <= steps; ++k) {
        SCOPED_TRACE("killed at step " + std::to_string(k) + " of " + std::to_string(steps));
        fs::remove_all(zalohy);
        fs::copy(saved, zalohy, fs::copy_options::recursive);
        ASSERT_EQ(dated(Dec9 + 2 * Day, strikes + ";nth=" + std::to_string(k) + ";kill").Code, -1);
        const TProgramRun listing =
            RunProgram(TABLORA_CLI, {"backups", "--in", zalohy, "--pattern", "Orvan-%Y-%m-%d"}, work / "output",
                       {"TZ=UTC"});
        EXPECT_EQ(listing.Code, ExitDone) << listing.Output;
        EXPECT_EQ(listing.Output.find("NOT WHOLE"), std::string::npos) << listing.Output;
        EXPECT_EQ(dated(Dec9 + 3 * Day).Code, ExitDone);
        EXPECT_TRUE(WorkNames(zalohy).empty());
    }
}

} // namespace
