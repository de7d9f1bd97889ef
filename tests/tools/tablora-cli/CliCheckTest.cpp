// tablora-cli check: one line per table and the advice, judged on healthy and damaged
// databases; the real program run over them changes no byte, no name and no time in the
// directory, even where every other command would complete a journal, and reads a directory
// it may not write.
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AppLocations.h"
#include "tests/database/CallTables.h"
#include "tests/support/TempDir.h"
#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/CliRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using namespace test;
namespace fs = std::filesystem;

// Everything a write could change: every file's bytes, size and modification time, and every
// directory's listing and modification time, below `root`.
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat st {};
        EXPECT_EQ(::lstat(it->path().c_str(), &st), 0);
        std::string facts = std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                            std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_mode);
        if (it->is_regular_file()) facts += " " + FileBytes(it->path().string());
        out[fs::relative(it->path(), root).string()] = facts;
    }
    struct stat st {};
    ::lstat(root.c_str(), &st);
    out["."] = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs the real program with `args`, as user `uid` (and its group) when the test is root;
// returns the exit code, the output in `output`.
int RunProgram(const std::vector<std::string>& args, std::string& output, uid_t uid = ::geteuid()) {
    TempDir outDir;
    const std::string outFile = outDir / "out.txt";
    const int fd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return -1;
    std::vector<std::string> argv{TABLORA_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, STDIN_FILENO);
        if (uid != ::geteuid() && (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(126);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    ::close(fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    output = FileBytes(outFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CliCheck : public ::testing::Test {
protected:
    TempDir program, db;

    void SetUp() override {
        rtl::OverrideProgramDirectory(program.Path());
        ::setenv(engine::EngineConfigEnvVar, (program / "engine.cfg").c_str(), 1);
        for (const char* name : {"Hovory", "Tel_zoz"}) MakeCallTable(db / (std::string(name) + ".DB"), 40);
    }
    void TearDown() override {
        ::unsetenv(engine::EngineConfigEnvVar);
        rtl::OverrideProgramDirectory("");
    }
    int Check(const std::string& tables, std::string& output, bool json = false) {
        cli::TCliOptions o;
        o.command = "check";
        o.dir = db.Path();
        o.allTables = tables.empty();
        o.tables = tables;
        o.json = json;
        std::ostringstream s;
        const int code = cli::RunCli(o, s);
        output = s.str();
        return code;
    }
    // Leaves in the directory what interrupted runs and other programs leave: a key repair's
    // work table, a journal whose completion would rename a file, Paradox's lock file, a memo
    // file in a second letter case, and a damage check's companion directory (normal).
    void LeaveTraces() {
        fs::copy_file(db / "Tel_zoz.DB", db / ".~Tel_zoz~kopia.DB");
        WriteFile(db / ".~Hovory.DB.part", "part");
        WriteFile(db / ".~Hovory.DB.journal", "tablora family journal 1\nrename\t.~Hovory.DB.part\tHovory.txt\nend\n");
        WriteFile(db / "PDOXUSRS.LCK", std::string(128, '\0'));
        fs::copy_file(db / "Tel_zoz.MB", db / "TEL_ZOZ.mb");
        WriteFile(db / "hovory.TXT", "notes");
        WriteFile(db / "HOVORY.txt", "notes");
        const fs::path companion = fs::path(db / "Rekonstrukcia") / "Hovory 2026-01-01 000000";
        fs::create_directories(companion);
        fs::copy_file(db / "Hovory.DB", companion / "BACKUP.DB");
    }
};

TEST_F(CliCheck, AHealthyDatabaseIsDoneAndUntouched) {
    const auto before = Snapshot(db.Path());
    std::string out;
    EXPECT_EQ(RunProgram({"check", "--all", "--dir", db.Path()}, out), 0) << out;
    EXPECT_NE(out.find("Hovory: healthy; rows 40; structure ok; primary index agrees; counter 40, ok; password no\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("2 table(s) checked"), std::string::npos) << out;
    EXPECT_NE(out.find("the database is healthy"), std::string::npos) << out;
    EXPECT_EQ(out.find("advice:"), std::string::npos) << out;
    ExpectSameFiles(before, Snapshot(db.Path()));
}

// The counter holds the last key handed out: the next append takes the one after it.
TEST_F(CliCheck, TheCounterCollidesExactlyWhenItsNextKeyIsStored) {
    std::string out;
    EXPECT_EQ(Check("Tel_zoz", out), cli::ExitDone) << out;  // counter 40, keys 1..40
    StoreAutoIncrement(db / "Tel_zoz.DB", 40, 39);
    EXPECT_EQ(Check("Tel_zoz", out), cli::ExitProblem);
    EXPECT_NE(out.find("Tel_zoz: PROBLEM; rows 40; structure ok; primary index agrees; counter 39, next key 40 is "
                       "already stored"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("advice: the autoincrement counter collides with stored keys: tablora-cli repair-keys --dir " +
                       db.Path() + " --tables Tel_zoz\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("check-damage"), std::string::npos) << out;
    // The advised command is pasted into a shell: a name with a blank, a comma or a quote
    // reaches the program whole.
    for (const char* ext : {".DB", ".MB", ".PX"})
        fs::copy_file(db / (std::string("Tel_zoz") + ext), db / (std::string("Tel zoz's, old") + ext));
    EXPECT_EQ(Check("", out), cli::ExitProblem);
    EXPECT_NE(out.find("repair-keys --dir " + db.Path() + " --tables '\"Tel zoz'\\''s, old\",Tel_zoz'\n"),
              std::string::npos)
        << out;
    // The check wrote nothing: the counter is where it was put.
    StoreAutoIncrement(db / "Tel_zoz.DB", 39, 40);
    EXPECT_EQ(Check("Tel_zoz", out, true), cli::ExitDone) << out;
    EXPECT_NE(out.find("\"nextKeyTaken\": false"), std::string::npos) << out;
}

// An unkeyed table's values in no order: the values above the counter, the largest of them
// and the values stored more than once are counted over every row, wherever they lie.
TEST_F(CliCheck, AnUnkeyedTablesValuesAreCountedInAnyOrder) {
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Name", ftAlpha, 20}};
    layout.KeyFieldCount = 0;
    const std::string path = db / "Volne.DB";
    CreateTableFiles(path, layout);
    // 3004 rows: 1..3000 scrambled, 7 twice more and 2999 once more, and 1 000 000 far ahead.
    const std::uint64_t rows = 3004;
    TGeneratedRows gen(path, rows, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 1) return "Row " + std::to_string(i);
        if (i == 3000) return std::int64_t{7};
        if (i == 3001) return std::int64_t{2999};
        if (i == 3002) return std::int64_t{1000000};
        if (i == 3003) return std::int64_t{7};
        return static_cast<std::int64_t>((i * 7919) % 3000 + 1);
    });
    AppendRecords(path, gen, true, db.Path());
    StoreAutoIncrement(path, TParadoxTable::Open(path)->Header().AutoIncrement, 2998);
    std::string out;
    EXPECT_EQ(Check("Volne", out, true), cli::ExitProblem) << out;
    EXPECT_NE(out.find("\"nextKeyTaken\": true"), std::string::npos) << out;
    EXPECT_NE(out.find("\"keysAboveCounter\": 4"), std::string::npos) << out;  // 2999 twice, 3000, 1000000
    EXPECT_NE(out.find("\"largestKey\": 1000000"), std::string::npos) << out;
    EXPECT_NE(out.find("\"duplicateKeys\": 2"), std::string::npos) << out;  // 7 and 2999, each once
}

TEST_F(CliCheck, DamageAndIndexesThatDisagreeAdviseTheDamageCheck) {
    fs::remove(db / "Hovory.PX");
    {
        // The header promises a row the chain does not hold.
        std::fstream f(db / "Tel_zoz.DB", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(6);
        const char count[4] = {41, 0, 0, 0};
        f.write(count, 4);
    }
    std::string out;
    EXPECT_EQ(Check("", out), cli::ExitProblem);
    EXPECT_NE(out.find("Hovory: PROBLEM; rows 40; structure ok; primary index missing;"), std::string::npos) << out;
    EXPECT_NE(out.find("Tel_zoz: PROBLEM; rows 40 (header says 41); structure 1 problem(s);"), std::string::npos) << out;
    EXPECT_NE(out.find("tablora-cli check-damage --dir " + db.Path() + " --tables Hovory,Tel_zoz\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("repair-keys"), std::string::npos) << out;
}

TEST_F(CliCheck, PasswordsMissingTablesAndMissingDirectoriesAreNotHealthy) {
    CopySampleFamily("paradoxdriver/src/test/resources/encrypt/encrypted.db", db.Path());
    std::string out;
    EXPECT_EQ(Check("encrypted,Hovory", out), cli::ExitProblem);
    EXPECT_NE(out.find("encrypted: PROBLEM; rows not readable (header says 4); structure not checked; primary index not checked; counter no "
                       "autoincrement key; password yes"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Hovory: healthy"), std::string::npos) << out;
    WriteFile(db / "Zly.DB", std::string(4096, 'x'));  // no table's header
    EXPECT_EQ(Check("Zly", out), cli::ExitProblem);
    EXPECT_NE(out.find("Zly: PROBLEM; cannot be read: "), std::string::npos) << out;
    EXPECT_NE(out.find("advice: tables that cannot be read (Zly): restore them from a backup (tablora-cli restore --dir "),
              std::string::npos)
        << out;
    EXPECT_EQ(Check("Hovory,Nikde", out), cli::ExitProblem);
    EXPECT_NE(out.find("not found: Nikde\n"), std::string::npos) << out;
    for (const auto& e : fs::directory_iterator(db.Path())) fs::remove_all(e.path());
    EXPECT_EQ(Check("", out), cli::ExitError);  // nothing there: no "done" for an empty share
    fs::remove(db.Path());
    EXPECT_EQ(Check("", out), cli::ExitError);
}

TEST_F(CliCheck, AnAliasIsReadFromTheConfigurationFile) {
    WriteFile(program / "engine.cfg", "[Orvan]\nPATH=" + db.Path() + "\n[Prazdny]\nDEFAULT DRIVER=PARADOX\n");
    cli::TCliOptions o;
    o.command = "check";
    o.allTables = true;
    o.alias = "Orvan";
    std::ostringstream out;
    EXPECT_EQ(cli::RunCli(o, out), cli::ExitDone) << out.str();
    EXPECT_NE(out.str().find("2 table(s) checked in " + db.Path() + ":"), std::string::npos) << out.str();
    StoreAutoIncrement(db / "Hovory.DB", 40, 1);
    EXPECT_EQ(cli::RunCli(o, out), cli::ExitProblem);
    EXPECT_NE(out.str().find("repair-keys --alias Orvan --tables Hovory\n"), std::string::npos) << out.str();
    for (const char* alias : {"Prazdny", "Nikde"}) {  // no PATH, no such alias: never the current directory
        o.alias = alias;
        EXPECT_EQ(cli::RunCli(o, out), cli::ExitError) << alias;
    }
}

TEST(CliCheckUsage, TheTablesAreNamedOrAllAreAsked) {
    const char* none[] = {"tablora-cli", "check", "--dir", "/srv/orvan"};
    EXPECT_THROW(cli::ParseCommandLine(4, none), cli::EUsageError);
    const char* all[] = {"tablora-cli", "check", "--dir", "/srv/orvan", "--all"};
    EXPECT_TRUE(cli::ParseCommandLine(5, all).allTables);
}

// Journals are reported, not completed (any other command would rename the file it names);
// leftovers, lock files and letter-case twins are reported; companion directories are not.
TEST_F(CliCheck, TracesOfOtherRunsAreToldAndLeftAsTheyAre) {
    LeaveTraces();
    const auto before = Snapshot(db.Path());
    std::string out;
    EXPECT_EQ(RunProgram({"check", "--all", "--json", "--dir", db.Path()}, out), 1) << out;
    ExpectSameFiles(before, Snapshot(db.Path()));
    EXPECT_NE(out.find("\"pendingJournals\": [\n    \".~Hovory.DB.journal\"\n  ]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"leftovers\": [\n    \".~Hovory.DB.part\",\n    \".~Tel_zoz~kopia.DB\"\n  ]"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"lockFiles\": [\n    \"PDOXUSRS.LCK\"\n  ]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"caseTwins\": [\n        \"TEL_ZOZ.mb\",\n        \"Tel_zoz.MB\"\n      ]"), std::string::npos)
        << out;
    for (const char* tool : {"complete-interrupted", "stop-other-programs", "inspect-leftovers", "resolve-case-twins"})
        EXPECT_NE(out.find(std::string("\"tool\": \"") + tool + "\""), std::string::npos) << tool << out;
    // Its rows are all there, its memo file is not: it does not read whole, so it stays.
    EXPECT_NE(out.find("\"repairDeletesIt\": false,\n        \"text\": \"does not read whole ("), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Rekonstrukcia"), std::string::npos) << out;
    EXPECT_EQ(out.find("HOVORY.txt"), std::string::npos) << out;  // no table's file: its twin is no concern
    EXPECT_EQ(out.find("BACKUP"), std::string::npos) << out;
}

// A directory nobody may write to is read all the same: as another user when the test runs
// as root (root writes anywhere), as the test's own user otherwise.
TEST_F(CliCheck, AReadOnlyDirectoryIsReadWhole) {
    LeaveTraces();
    StoreAutoIncrement(db / "Tel_zoz.DB", 40, 39);
    fs::remove(db / ".~Tel_zoz~kopia.DB");
    MakeCallTable(db / ".~Tel_zoz~kopia.DB", 41);
    for (auto it = fs::recursive_directory_iterator(db.Path()); it != fs::recursive_directory_iterator(); ++it)
        fs::permissions(it->path(), it->is_directory() ? fs::perms(0555) : fs::perms(0444));
    fs::copy_file(db / "Tel_zoz.DB", db / "Brany.DB");
    fs::permissions(db / "Brany.DB", fs::perms::none);  // whole, but not ours to read
    fs::permissions(db.Path(), fs::perms(0555));
    const uid_t nobody = 65534;
    const auto before = Snapshot(db.Path());
    std::string out;
    const int code = RunProgram({"check", "--all", "--dir", db.Path()}, out, ::geteuid() == 0 ? nobody : ::geteuid());
    ExpectSameFiles(before, Snapshot(db.Path()));
    ASSERT_EQ(code, 1) << out;
    EXPECT_NE(out.find("Tel_zoz: PROBLEM; rows 40; structure ok; primary index agrees; counter 39, next key 40"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Hovory: PROBLEM; rows 40; structure ok; primary index agrees; counter 40, ok; password no; "
                       "leftovers .~Hovory.DB.part; interrupted change pending"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  work table .~Tel_zoz~kopia.DB: 41 row(s), the table 40: it may hold the only copy of some "
                       "rows; repair-keys keeps it and refuses the table\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Brany: PROBLEM; cannot be read: "), std::string::npos) << out;
    EXPECT_NE(out.find("advice: tables whose files could not be read (Brany): check the rights"), std::string::npos) << out;
    EXPECT_EQ(out.find("restore them"), std::string::npos) << out;  // restoring over a whole table would lose it
    fs::permissions(db.Path(), fs::perms(0755));
}

} // namespace
