// Journals found in the database directory, which the billing application's users can write
// to: crafted ones, ones of the previous format, and a killed run's journal gone stale because
// a newer table was put in place by hand. The real programs run over them; judged by what is
// left outside the directory, by the rows another program (pxlib) reads, and by what the runs
// say: nothing outside is touched, no newer row is lost, what cannot be shown safe is left and
// named, and a writing command that leaves a table alone exits non-zero.
#include "tests/database/CallTables.h"
#include "tests/support/ForeignReader.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>

namespace {

using namespace test;
namespace fs = std::filesystem;
using TFiles = std::map<std::string, std::string>;

// Every file below `root` (relative name, bytes), links by where they lead.
TFiles Tree(const std::string& root) {
    TFiles files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(e.path(), root).string();
        if (e.is_symlink()) files[name] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_regular_file()) files[name] = FileBytes(e.path().string());
    }
    return files;
}

// How a journal of ours records what it expects under a name: kind, size and time.
std::string Recorded(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "-";
    return "f" + std::to_string(st.st_size) + ":" +
           std::to_string(static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
}

class CliJournalGuard : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(pristine);
        fs::create_directories(outside);
        MakeCallTable(pristine + "/Hovory.DB", 40, 3);
        MakeCallTable(pristine + "/Linky.DB", 12);
        MakeCallTable(pristine + "/Brany.DB", 8);
        MakeCallTable(pristine + "/Firmy.DB", 5);
        WriteFile(outside + "/x", "not the database's");
        WriteFile(outside + "/secret", "the share's other data");
    }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    void ResetDatabase() {
        fs::remove_all(db);
        fs::copy(pristine, db);
    }

    TProgramRun Cli(std::vector<std::string> args, const std::string& fault = {}) {
        args.insert(args.begin() + 1, {"--dir", db});
        std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "TABLORA_LOCK_WAIT_MS=2000"};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    }
    TProgramRun Pdx(const std::string& command, const std::string& table) {
        return RunProgram(TABLORA_PDX, {command, db + "/" + table}, work / "output");
    }

    TempDir work;
    std::string pristine = work / "pristine", db = work / "db", outside = work / "outside";
};

// One journal per rule, each otherwise well formed (its states are the files' own): a way up
// out of the directory, an absolute path, a Windows separator, another table's data file.
// Every command, reading or writing, leaves all of it: nothing outside changes, no table loses
// a row, the journals stay; the writing ones name the tables they left and exit non-zero.
TEST_F(CliJournalGuard, JournalsThatLeaveTheirFamilyAreNeverCarriedOut) {
    const std::string root = fs::path(outside).root_path().string();
    auto plant = [&] {
        WriteFile(db + "/.~Hovory.DB.journal", "tablora family journal 2\nunlink\t../outside/x\t" + Recorded(outside + "/x") +
                                                   "\nrename\t../outside/secret\tstolen\t" + Recorded(outside + "/secret") +
                                                   "\t-\nend\n");
        WriteFile(db + "/.~Linky.DB.journal", "tablora family journal 2\nunlink\t" + outside + "/x\t" +
                                                  Recorded(outside + "/x") + "\nend\n");
        WriteFile(db + "/.~Brany.DB.journal", "tablora family journal 2\nunlink\tHovory.DB\t" + Recorded(db + "/Hovory.DB") +
                                                  "\nend\n");
        WriteFile(db + "/.~Firmy.DB.journal", "tablora family journal 2\nrename\t..\\outside\\secret\tFirmy.DB\tf1:1\t" +
                                                  Recorded(db + "/Firmy.DB") + "\nend\n");
    };
    fs::create_directories(work / "older");
    MakeCallTable(work / "older/Hovory.DB", 2);
    MakeCallTable(work / "older/Linky.DB", 3);
    const TFiles outsideBefore = Tree(outside);
    const std::vector<std::vector<std::string>> commands{
        {"list"},
        {"check", "--all"},
        {"export", "--to-csv", work / "csv"},
        {"backup", "--to-dir", work / "backup"},
        {"repair-keys", "--all-fit"},
        {"check-damage", "--all"},
        {"delete-indexes"},
        {"restore", "--from-dir", work / "older"},
        {"pdx", "dump"},
        {"pdx", "info"},
        {"pdx", "verify"},
    };
    const std::map<std::string, int> rows{{"Hovory", 40}, {"Linky", 12}, {"Brany", 8}, {"Firmy", 5}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0] + (command.size() > 1 ? " " + command[1] : ""));
        ResetDatabase();
        plant();
        const TFiles journals = [&] {
            TFiles j;
            for (const auto& [name, bytes] : Tree(db))
                if (name.ends_with(".journal")) j[name] = bytes;
            return j;
        }();
        ASSERT_EQ(journals.size(), 4u);
        fs::remove_all(work / "csv");
        fs::remove_all(work / "backup");
        const TProgramRun run = command[0] == "pdx" ? Pdx(command[1], "Hovory.DB") : Cli(command);

        EXPECT_EQ(Tree(outside), outsideBefore) << run.Output;
        EXPECT_FALSE(fs::exists(db + "/stolen"));
        for (const auto& [name, bytes] : journals) EXPECT_EQ(FileBytes(db + "/" + name), bytes) << name << " changed or gone";
        for (const auto& [table, count] : rows) EXPECT_EQ(PxlibRecordCount(db + "/" + table + ".DB"), count) << table;
        // Held tables keep their indexes and their rows, whatever the command was asked to do.
        EXPECT_TRUE(fs::exists(db + "/Hovory.PX"));
        // Each run says which table it read as it stands or left, and why.
        EXPECT_NE(run.Output.find("\"Hovory\""), std::string::npos) << run.Output;
        const bool writes = command[0] == "backup" || command[0] == "repair-keys" || command[0] == "check-damage" ||
                            command[0] == "delete-indexes" || command[0] == "restore";
        if (writes) {
            EXPECT_NE(run.Code, 0) << run.Output;
            EXPECT_NE(run.Output.find("was not carried out"), std::string::npos) << run.Output;
            EXPECT_NE(run.Output.find("which is no file of the table"), std::string::npos) << run.Output;
            EXPECT_NE(run.Output.find("which is not a plain file name"), std::string::npos) << run.Output;
        } else if (command[0] == "list") {
            EXPECT_EQ(run.Code, 0) << run.Output;
            EXPECT_NE(run.Output.find("will not be carried out"), std::string::npos) << run.Output;
        } else if (command[0] != "pdx" || command[1] != "info") {
            EXPECT_EQ(run.Code, 1) << run.Output;
        }
        if (command[0] == "backup") {
            // Copied as they stand, journals not among them.
            for (const auto& [table, count] : rows)
                EXPECT_EQ(PxlibRecordCount(work / "backup/" + table + ".DB"), count) << table;
            for (const auto& e : fs::directory_iterator(work / "backup"))
                EXPECT_FALSE(e.path().filename().string().starts_with(".~")) << e.path();
        }
    }
}

// The previous release's journals recorded no states: nothing shows that their files are still
// the ones they were written for. Not carried out, by any command; named, and left in place.
TEST_F(CliJournalGuard, JournalsOfThePreviousFormatAreLeftAndNamed) {
    ResetDatabase();
    // The attack the previous release fell for, from a table listing on.
    WriteFile(db + "/.~Linky.DB.journal",
              "tablora family journal 1\nunlink\t../outside/x\nrename\t../outside/secret\tstolen\nend\n");
    // A swap of the key repair as the previous release wrote it, found after the table moved on.
    fs::copy_file(db + "/Firmy.DB", db + "/.~Hovory~kopia.DB");
    fs::copy_file(db + "/Firmy.MB", db + "/.~Hovory~kopia.MB");
    WriteFile(db + "/.~Hovory.DB.journal", "tablora family journal 1\nunlink\tHovory.PX\nrename\t.~Hovory~kopia.MB\tHovory.MB\n"
                                           "rename\t.~Hovory~kopia.DB\tHovory.DB\nend\n");
    const TFiles before = Tree(db), outsideBefore = Tree(outside);

    const TProgramRun listed = Cli({"list"});
    EXPECT_EQ(listed.Code, 0) << listed.Output;
    EXPECT_EQ(Tree(outside), outsideBefore);
    EXPECT_EQ(Tree(db), before);

    const TProgramRun backedUp = Cli({"backup", "--to-dir", work / "backup", "--json"});
    EXPECT_EQ(backedUp.Code, 1) << backedUp.Output;
    EXPECT_EQ(Tree(outside), outsideBefore);
    EXPECT_EQ(Tree(db), before);
    EXPECT_EQ(PxlibRecordCount(db + "/Hovory.DB"), 40);
    EXPECT_NE(backedUp.Output.find("Table \"Hovory\": the change an interrupted run of the program had begun was not "
                                   "carried out, because it was recorded by an earlier version"),
              std::string::npos)
        << backedUp.Output;
    EXPECT_NE(backedUp.Output.find("\"outcome\": \"left as it was\""), std::string::npos) << backedUp.Output;
    EXPECT_NE(backedUp.Output.find("\"table\": \"Linky\""), std::string::npos) << backedUp.Output;
    // The user is told the table, never the work table as if it were one of theirs.
    EXPECT_EQ(backedUp.Output.find("Table \".~"), std::string::npos) << backedUp.Output;
}

// A key repair killed once its swap was recorded, then the operator puts a newer copy of the
// table (one more row) in place by hand. No command puts the older repaired copy over it:
// pdx reads the newer table as it stands and says a change waits; the writing commands leave
// the table, say why and exit non-zero; pxlib finds all 41 rows throughout.
TEST_F(CliJournalGuard, AStaleJournalNeverReplacesANewerTable) {
    ResetDatabase();
    const TProgramRun killed = Cli({"repair-keys", "--tables", "Hovory"}, "ops=unlink;path=Hovory.PX;nth=1;kill");
    ASSERT_EQ(killed.Code, -1) << killed.Output;
    ASSERT_TRUE(fs::exists(db + "/.~Hovory.DB.journal"));
    fs::create_directories(work / "newer");
    MakeCallTable(work / "newer/Hovory.DB", 41, 3);
    for (const char* ext : {".DB", ".MB", ".PX"}) CopyOver(work / ("newer/Hovory" + std::string(ext)), db + "/Hovory" + ext);
    const std::string newer = FileBytes(db + "/Hovory.DB");

    const TProgramRun dumped = Pdx("dump", "Hovory.DB");
    EXPECT_EQ(dumped.Code, 1) << dumped.Output;
    EXPECT_NE(dumped.Output.find("will not be carried out, because its file \"Hovory.PX\" was changed or replaced"),
              std::string::npos)
        << dumped.Output;
    EXPECT_EQ(PxlibRecordCount(db + "/Hovory.DB"), 41);

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"repair-keys", "--tables", "Hovory"}, {"check-damage", "--tables", "Hovory"},
          {"backup", "--to-zip", work / "b.zip"}, {"delete-indexes"}}) {
        SCOPED_TRACE(command[0]);
        const TProgramRun run = Cli(command);
        EXPECT_NE(run.Code, 0) << run.Output;
        EXPECT_NE(run.Output.find("Table \"Hovory\": the change an interrupted run of the program had begun was not "
                                  "carried out"),
                  std::string::npos)
            << run.Output;
        EXPECT_EQ(FileBytes(db + "/Hovory.DB"), newer);
        EXPECT_EQ(PxlibRecordCount(db + "/Hovory.DB"), 41);
        EXPECT_TRUE(fs::exists(db + "/Hovory.PX"));
        EXPECT_TRUE(fs::exists(db + "/.~Hovory.DB.journal"));
    }
    // Once the operator removes the record, as the message says, the table is the billing
    // application's again and the repair goes ahead on the newer rows.
    fs::remove(db + "/.~Hovory.DB.journal");
    const TProgramRun repaired = Cli({"repair-keys", "--tables", "Hovory"});
    EXPECT_EQ(repaired.Code, 0) << repaired.Output;
    EXPECT_NE(repaired.Output.find("Hovory: repaired (41 rows before, 41 after)"), std::string::npos) << repaired.Output;
    EXPECT_EQ(PxlibRecordCount(db + "/Hovory.DB"), 41);
}

// After a killed key repair the next runs say, once, what became of the table: a table listing
// that it waits, the next backup that it was completed (on standard error and in --json), and
// the backup after that nothing more.
TEST_F(CliJournalGuard, AKilledRunIsToldOnceByTheRunThatCompletesIt) {
    ResetDatabase();
    const TProgramRun killed = Cli({"repair-keys", "--tables", "Hovory"}, "ops=rename;path=Hovory.MB;nth=1;kill");
    ASSERT_EQ(killed.Code, -1) << killed.Output;
    ASSERT_TRUE(fs::exists(db + "/.~Hovory.DB.journal"));

    const TProgramRun listed = Cli({"list"});
    EXPECT_EQ(listed.Code, 0) << listed.Output;
    EXPECT_NE(listed.Output.find("Table \"Hovory\": a change an interrupted run of the program had begun waits to be "
                                 "completed"),
              std::string::npos)
        << listed.Output;
    EXPECT_TRUE(fs::exists(db + "/.~Hovory.DB.journal"));

    const TProgramRun first = Cli({"backup", "--to-dir", work / "backup", "--json"});
    EXPECT_EQ(first.Code, 0) << first.Output;
    EXPECT_NE(first.Output.find("tablora-cli: Table \"Hovory\": the change an interrupted run of the program had begun "
                                "was completed"),
              std::string::npos)
        << first.Output;
    EXPECT_NE(first.Output.find("\"outcome\": \"completed\""), std::string::npos) << first.Output;
    EXPECT_EQ(first.Output.find("waits"), std::string::npos) << first.Output;
    EXPECT_FALSE(fs::exists(db + "/.~Hovory.DB.journal"));
    EXPECT_EQ(PxlibRecordCount(db + "/Hovory.DB"), 40);
    EXPECT_FALSE(fs::exists(db + "/Hovory.PX"));  // the repaired table, whole

    const TProgramRun second = Cli({"backup", "--to-dir", work / "backup"});
    EXPECT_EQ(second.Code, 0) << second.Output;
    EXPECT_EQ(second.Output.find("interrupted"), std::string::npos) << second.Output;
}

// Journals that stay in their own family yet would lose what they remove: a table's data file
// with nothing put in its place, a spreadsheet that only shares the table's name ("xlsx"
// begins with "x" but is no index). A writer refuses both and names the tables; and no
// command takes the spreadsheet for an index of its own accord either.
TEST_F(CliJournalGuard, JournalsThatWouldLoseATableOrAUsersFileAreRefused) {
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"repair-keys", "--all-fit"}, std::vector<std::string>{"delete-indexes"},
          std::vector<std::string>{"backup", "--to-dir", work / "backup"}}) {
        SCOPED_TRACE(command[0]);
        ResetDatabase();
        fs::remove_all(work / "backup");
        WriteFile(db + "/Brany.xlsx", "the operator's own sheet");
        WriteFile(db + "/.~Linky.DB.journal",
                  "tablora family journal 2\nunlink\tLinky.DB\t" + Recorded(db + "/Linky.DB") + "\nend\n");
        WriteFile(db + "/.~Brany.DB.journal",
                  "tablora family journal 2\nunlink\tBrany.xlsx\t" + Recorded(db + "/Brany.xlsx") + "\nend\n");
        // Every file of Hovory, the data file named in other letter case: on this file system
        // that step hits nothing, and the rows would stay without their memo and index.
        std::string hovory = "tablora family journal 2\n";
        for (const auto& [name, bytes] : Tree(db))
            if (name.rfind("Hovory.", 0) == 0)
                hovory += "unlink\t" + (name == "Hovory.DB" ? std::string("hovory.db") : name) + "\t" +
                          Recorded(db + "/" + name) + "\n";
        WriteFile(db + "/.~Hovory.DB.journal", hovory + "end\n");
        // Firmy moved onto the names of Linky's indexes, which the next index deletion takes.
        WriteFile(db + "/.~Firmy.DB.journal", "tablora family journal 2\nrename\tFirmy.DB\tLinky.X05\t" +
                                                  Recorded(db + "/Firmy.DB") + "\t-\nend\n");
        const TProgramRun run = Cli(command);
        EXPECT_EQ(PxlibRecordCount(db + "/Hovory.DB"), 40) << run.Output;
        EXPECT_EQ(Tree(db).count("Hovory.MB") + Tree(db).count("Hovory.PX"), Tree(pristine).count("Hovory.MB") + 1);
        EXPECT_EQ(PxlibRecordCount(db + "/Firmy.DB"), 5) << run.Output;
        EXPECT_FALSE(fs::exists(db + "/Linky.X05"));
        EXPECT_EQ(PxlibRecordCount(db + "/Linky.DB"), 12) << run.Output;
        EXPECT_EQ(FileBytes(db + "/Brany.xlsx"), "the operator's own sheet") << run.Output;
        EXPECT_TRUE(fs::exists(db + "/.~Linky.DB.journal"));
        EXPECT_TRUE(fs::exists(db + "/.~Brany.DB.journal"));
        EXPECT_NE(run.Output.find("\"Linky\""), std::string::npos) << run.Output;
        EXPECT_NE(run.Code, 0) << run.Output;
    }
    // The data file alone renamed away would leave the memo and index without their rows.
    ResetDatabase();
    WriteFile(db + "/.~Brany.DB.journal",
              "tablora family journal 2\nrename\tBrany.DB\tZzz.DB\t" + Recorded(db + "/Brany.DB") + "\t-\nend\n");
    EXPECT_NE(Cli({"backup", "--to-dir", work / "backup2"}).Code, 0);
    EXPECT_EQ(PxlibRecordCount(db + "/Brany.DB"), 8);
    EXPECT_FALSE(fs::exists(db + "/Zzz.DB"));

    // Without any journal, an index deletion and a backup leave the spreadsheet alone.
    ResetDatabase();
    fs::remove_all(work / "backup");
    WriteFile(db + "/Hovory.xlsx", "sheet");
    EXPECT_EQ(Cli({"delete-indexes"}).Code, 0);
    EXPECT_EQ(FileBytes(db + "/Hovory.xlsx"), "sheet");
    EXPECT_FALSE(fs::exists(db + "/Hovory.PX"));
    EXPECT_EQ(Cli({"backup", "--to-dir", work / "backup"}).Code, 0);
    EXPECT_FALSE(fs::exists(work / "backup/Hovory.xlsx"));
}

// A restore a killed run left half swapped waits for the next writer: the commands that only
// read say which tables it will still change, and leave it be.
TEST_F(CliJournalGuard, ReadersNameTheTablesAWaitingRestoreWillChange) {
    ResetDatabase();
    fs::create_directories(db + "/.tablora-restore-1.abcdef");
    WriteFile(db + "/.tablora-restore-1.abcdef/x", "staged");
    WriteFile(db + "/.tablora-restore.intent",
              "tablora restore intent 1\nstaging\t.tablora-restore-1.abcdef\nsource\tz\ntable\tLinky\tLinky.DB\n"
              "rename\tx\tLinky.DB\tr:6:0\t-\ntable\tBrany\tBrany.DB\nrename\ty\tBrany.DB\tr:6:0\t-\nend\n");
    const TFiles before = Tree(db);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list"}, std::vector<std::string>{"check", "--all"},
          std::vector<std::string>{"export", "--to-csv", work / "csv"}}) {
        const TProgramRun run = Cli(command);
        EXPECT_NE(run.Output.find("Table \"Linky\": a change an interrupted run"), std::string::npos)
            << command[0] << ": " << run.Output;
        // Brany's staged file was put in place before the kill: nothing waits for it.
        EXPECT_EQ(run.Output.find("Table \"Brany\": a change"), std::string::npos) << command[0] << ": " << run.Output;
        // A database of two generations is no healthy one.
        if (command[0] == "check") {
            EXPECT_EQ(run.Code, 1) << run.Output;
        }
        EXPECT_EQ(Tree(db), before) << command[0];
    }
}

} // namespace
