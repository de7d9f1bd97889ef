// tablora-cli, run as a real process, on the inputs a damaged or odd installation hands it:
// a database directory that is missing, a file or a symlink loop; an unreadable directory,
// a read-only or full target, an unreadable archive (the file system's refusals struck
// inside the process through TABLORA_FS_FAULT); paths with blanks, Slovak letters and over
// 300 characters; tables whose names differ only in letter case; headers at and past their
// limits. Each run ends with a message that says what is wrong and an exit code that is not
// "done", and changes nothing it should not.
#include "tests/database/CallTables.h"
#include "tests/support/HeaderLimits.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;

constexpr int ExitDone = 0, ExitProblem = 1, ExitError = 3;

class CliBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(db);
        MakeCallTable(db + "/Hovory.DB", 40, 3);  // its counter lags: the repair recreates it
        MakeCallTable(db + "/Linky.DB", 10);
    }

    // Runs tablora-cli with `args`, the fault `fault` (TABLORA_FS_FAULT) struck inside it.
    TProgramRun Cli(const std::vector<std::string>& args, const std::string& fault = {}) {
        std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "TABLORA_LOCK_WAIT_MS=2000"};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    }

    void ExpectTold(const TProgramRun& run, int code, const std::string& says) {
        EXPECT_EQ(run.Code, code) << run.Output;
        EXPECT_NE(run.Output.find(says), std::string::npos) << run.Output;
    }

    TempDir work;
    std::string db = work / "db";
};

TEST_F(CliBadInput, ADatabaseDirectoryThatIsNoDirectory) {
    const std::string file = work.WriteFile("plain", "x");
    fs::create_symlink(work / "loop", work / "loop");
    for (const auto& [dir, why] : std::vector<std::pair<std::string, std::string>>{
             {work / "missing", "does not exist"},
             {file, "is not a directory"},
             {work / "loop", "cannot be reached (Too many levels of symbolic links)"}}) {
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"list"}, {"backup", "--to-dir", work / "zaloha"}, {"delete-indexes"},
              {"repair-keys", "--all-fit"}}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--dir", dir});
            ExpectTold(Cli(args), ExitError, "The database directory \"" + dir + "\" " + why + ".");
        }
    }
    EXPECT_FALSE(fs::exists(work / "zaloha"));
    ExpectTold(Cli({"restore", "--dir", db, "--from-dir", file}), ExitError,
               "The backup directory \"" + file + "\" is not a directory.");
}

// An empty or unmounted database directory gives the repairs nothing to do: a script hears
// so and gets "error" (nothing done, nothing changed), not "done". A restore from a missing archive restores nothing and
// deletes no index.
TEST_F(CliBadInput, RunsThatFindNoTableSaySoAndARestoreOfNothingDeletesNoIndex) {
    const std::string empty = work / "empty";
    fs::create_directories(empty);
    std::ofstream(empty + "/readme.txt") << "no table";
    std::ofstream(empty + "/Stare.PX") << "an index without its table";
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"check-damage", "--all"}, {"repair-keys", "--all-fit"}, {"delete-indexes"}, {"list"}}) {
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--dir", empty});
        ExpectTold(Cli(args), ExitError, "no table found in the database directory \"" + empty + "\"");
    }
    EXPECT_TRUE(fs::exists(empty + "/Stare.PX"));

    ASSERT_TRUE(fs::exists(db + "/Hovory.PX"));
    ExpectTold(Cli({"restore", "--dir", db, "--from-zip", work / "missing.zip", "--delete-indexes"}), ExitError,
               "does not exist");
    EXPECT_TRUE(fs::exists(db + "/Hovory.PX"));
}

TEST_F(CliBadInput, UnreadableReadOnlyAndFullPlaces) {
    const TFiles database = DirectoryBytes(db);
    const std::string unreadable = "ops=list;nth=1;errno=EACCES;persist;path=" + db;
    ExpectTold(Cli({"list", "--dir", db}, unreadable), ExitError, "Permission denied");
    ExpectTold(Cli({"backup", "--dir", db, "--to-dir", work / "zaloha"}, unreadable), ExitError, "Permission denied");
    ExpectTold(Cli({"delete-indexes", "--dir", db}, unreadable), ExitError, "Permission denied");

    // Yesterday's backups.
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-dir", work / "zaloha"}).Code, ExitDone);
    ASSERT_EQ(Cli({"backup", "--dir", db, "--to-zip", work / "zaloha/Backup.zip"}).Code, ExitDone);
    MakeCallTable(db + "/Tarify.DB", 20);
    const TFiles backup = DirectoryBytes(work / "zaloha");
    // The new backup is written beside the old one before it takes its place.
    ExpectTold(Cli({"backup", "--dir", db, "--to-dir", work / "zaloha"},
                   "ops=open-write;nth=1;errno=EROFS;persist;path=" + work.Path()),
               ExitError, "Read-only file system");
    ExpectTold(Cli({"backup", "--dir", db, "--to-zip", work / "zaloha/Backup.zip"},
                   "ops=write;nth=1;errno=ENOSPC;persist;path=" + work / "zaloha"),
               ExitError, "No space left on device");
    ExpectSameFiles(backup, DirectoryBytes(work / "zaloha"));

    ExpectTold(Cli({"restore", "--dir", db, "--from-zip", work / "zaloha/Backup.zip"},
                   "ops=open-read;nth=1;errno=EACCES;persist;path=Backup.zip"),
               ExitError, "Permission denied");
    ExpectTold(Cli({"restore", "--dir", db, "--from-dir", work / "zaloha"},
                   "ops=list;nth=1;errno=EIO;persist;path=" + work / "zaloha"),
               ExitError, "Input/output error");
    ExpectTold(Cli({"repair-keys", "--dir", db, "--tables", "Hovory"},
                   "ops=open-write;nth=1;errno=EROFS;persist;path=" + db),
               ExitError, "Read-only file system");
    const TFiles now = DirectoryBytes(db);
    for (const auto& [name, bytes] : database) EXPECT_TRUE(now.count(name) && now.at(name) == bytes) << name;
}

TEST_F(CliBadInput, PathsWithBlanksSlovakLettersAndOver300Characters) {
    std::string deep = work / "Databáza účtovníctva/Ústredňa č. 1";
    while (deep.size() < 320) deep += "/Hovory za mesiac ďalší";
    fs::create_directories(deep);
    for (const auto& e : fs::directory_iterator(db)) fs::copy_file(e.path(), deep + "/" + e.path().filename().string());
    const auto rows = WithoutKeys(deep + "/Hovory.DB");
    const std::string backup = deep + "/zálohy/Záloha z piatku";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"backup", "--to-dir", backup}, {"backup", "--to-zip", backup + "/Záloha.zip", "--verify"},
          {"repair-keys", "--tables", "Hovory"}, {"delete-indexes"}, {"restore", "--from-dir", backup},
          {"restore", "--from-zip", backup + "/Záloha.zip"}, {"list"}}) {
        std::vector<std::string> full = args;
        full.insert(full.end(), {"--dir", deep});
        const TProgramRun run = Cli(full);
        EXPECT_EQ(run.Code, ExitDone) << args[0] << ": " << run.Output;
        EXPECT_EQ(WithoutKeys(deep + "/Hovory.DB"), rows) << args[0];
    }
}

TEST_F(CliBadInput, TablesWhoseNamesDifferOnlyInLetterCase) {
    fs::create_directories(work / "made");
    MakeCallTable(work / "made/HOVORY.db", 7);
    for (const char* name : {"HOVORY.db", "HOVORY.mb", "HOVORY.px"}) fs::copy_file(work / ("made/" + std::string(name)), db + "/" + name);
    const TFiles before = DirectoryBytes(db);
    ExpectTold(Cli({"repair-keys", "--dir", db, "--tables", "Hovory"}), ExitError, "differs from it only in letter case");
    ExpectSameFiles(before, DirectoryBytes(db));
    EXPECT_EQ(Cli({"backup", "--dir", db, "--to-dir", work / "zaloha"}).Code, ExitDone);
    const TFiles backup = DirectoryBytes(work / "zaloha");
    for (const auto& [name, bytes] : before) EXPECT_TRUE(backup.count(name) && backup.at(name) == bytes) << name;
}

TEST_F(CliBadInput, HeadersAtAndPastTheirLimits) {
    for (const THeaderLimit& limit : HeaderLimits()) {
        SCOPED_TRACE(limit.Name);
        fs::remove_all(work / "bad");
        fs::create_directories(work / "bad");
        MakeCallTable(work / "bad/Zly.DB", 30, 3);
        MakeCallTable(work / "bad/Hovory.DB", 5);
        PatchHeader(work / "bad/Zly.DB", limit);
        const std::string zly = FileBytes(work / "bad/Zly.DB");
        const TProgramRun list = Cli({"list", "--dir", work / "bad"});
        if (limit.Opens) {
            EXPECT_EQ(list.Code, ExitDone) << list.Output;
        } else {
            ExpectTold(list, ExitProblem, limit.Says);
        }
        EXPECT_NE(list.Output.find("Hovory"), std::string::npos);
        // Told why it was not repaired, or left alone as no candidate; never rewritten.
        const TProgramRun repair = Cli({"repair-keys", "--dir", work / "bad", "--tables", "Zly"});
        if (limit.Opens && !limit.Probed) {
            EXPECT_NE(repair.Output.find("Zly: error: the header of table \"Zly.DB\" is damaged"), std::string::npos)
                << repair.Output;
        } else if (limit.Opens) {
            EXPECT_TRUE(repair.Output.find("cannot be read whole") != std::string::npos ||
                        repair.Output.find("Zly: not a candidate") != std::string::npos)
                << repair.Output;
        } else {
            ExpectTold(repair, ExitError, limit.Says);
        }
        EXPECT_TRUE(FileBytes(work / "bad/Zly.DB").substr(0x80) == zly.substr(0x80)) << "Zly's rows were rewritten";
        // A copy that failed leaves its "Temp" table, as the repair documents, with no row.
        if (fs::exists(work / "bad/ZlyTemp.DB")) {
            EXPECT_TRUE(ReadRows(work / "bad/ZlyTemp.DB").empty());
        }
        EXPECT_EQ(Cli({"backup", "--dir", work / "bad", "--to-dir", work / "zaloha"}).Code, ExitDone);
        EXPECT_TRUE(FileBytes(work / "zaloha/Zly.DB") == FileBytes(work / "bad/Zly.DB"));
    }
}

TEST_F(CliBadInput, ATableOf255Fields) {
    MakeWidestTable(db + "/Siroka.DB", 50);
    StoreAutoIncrement(db + "/Siroka.DB", 50, 2);
    const auto rows = WithoutKeys(db + "/Siroka.DB");
    const TProgramRun run = Cli({"repair-keys", "--dir", db, "--tables", "Siroka"});
    EXPECT_EQ(run.Code, ExitDone) << run.Output;
    EXPECT_NE(run.Output.find("Siroka: repaired (50 rows before, 50 after)"), std::string::npos) << run.Output;
    EXPECT_EQ(WithoutKeys(db + "/Siroka.DB"), rows);
}

} // namespace
