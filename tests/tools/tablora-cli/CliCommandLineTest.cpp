// tablora-cli's command line as a script meets it: each command takes the options its help
// names and refuses every other one with exit code 2 before it touches anything; a command's
// help is its own; a slip of the keyboard gets the nearest command, not the whole usage.
#include "tests/tools/tablora-cli/DemoDatabase.h"

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <utility>

namespace {

using namespace test;
namespace fs = std::filesystem;

// The options a help text names, each with whether it takes a value ("--dir DIR").
std::map<std::string, bool> OptionsNamedIn(const std::string& help) {
    std::map<std::string, bool> options;
    const std::regex option("(--[a-z][a-z-]*)( (DIR|FILE|NAME|N|P|a,b))?");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
        options[(*it)[1]] = options[(*it)[1]] || (*it)[2].matched;
    return options;
}

class CliCommandLine : public ::testing::Test {
protected:
    TempDir work;
};

// Every command against every option of the others: refused, naming the command and the
// option, and nothing made. A command that took an option it does not use (restore
// --to-zip restoring everything, say) would leave a script believing it had been honoured.
TEST_F(CliCommandLine, EveryOptionACommandDoesNotUseIsRefusedNamingTheCommand) {
    const std::string db = CopyDemoDatabase(false, work / "db");
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands{
        {"list", {"--dir", db}},
        {"backup", {"--dir", db, "--to-zip", work / "made/b.zip"}},
        {"backups", {"--in", work.Path()}},
        {"restore", {"--dir", db, "--from-zip", work / "made/b.zip"}},
        {"delete-indexes", {"--dir", db}},
        {"repair-keys", {"--dir", db, "--all-fit"}},
        {"check-damage", {"--dir", db, "--all"}},
        {"export", {"--dir", db, "--to-csv", work / "made/csv"}},
        {"check", {"--dir", db, "--all"}},
    };
    std::map<std::string, std::map<std::string, bool>> taken;
    std::map<std::string, bool> every;
    for (const auto& [command, args] : commands) {
        const TCliRun help = RunCli(work.Path(), {command, "--help"});
        ASSERT_EQ(help.Code, 0) << command << help.Err;
        taken[command] = OptionsNamedIn(help.Out);
        for (const auto& [option, value] : taken[command]) every[option] = every[option] || value;
    }
    ASSERT_GE(every.size(), 20u);
    const auto before = TreeBytes(db);
    int refused = 0;
    for (const auto& [command, args] : commands) {
        for (const auto& [option, value] : every) {
            if (taken[command].count(option)) continue;
            std::vector<std::string> line{command};
            line.insert(line.end(), args.begin(), args.end());
            line.push_back(option);
            if (value) line.push_back("Hovory");
            const TCliRun run = RunCli(work.Path(), line);
            EXPECT_EQ(run.Code, 2) << command << " " << option << "\n" << run.Out << run.Err;
            EXPECT_NE(run.Err.find(command + " does not take " + option), std::string::npos)
                << command << " " << option << "\n" << run.Err;
            ++refused;
        }
    }
    EXPECT_GE(refused, 100);
    EXPECT_FALSE(fs::exists(work / "made"));
    EXPECT_TRUE(TreeBytes(db) == before);
}

// The options the module limits a run with are taken where they are meant.
TEST_F(CliCommandLine, TablesAreTakenByBackupRestoreAndIndexDeletionAndExcludeByBackupExportAndCheck) {
    for (const char* command : {"backup", "restore", "delete-indexes", "repair-keys", "check-damage", "export", "check"})
        EXPECT_TRUE(OptionsNamedIn(RunCli(work.Path(), {command, "--help"}).Out).count("--tables")) << command;
    for (const char* command : {"backup", "export", "check"})
        EXPECT_TRUE(OptionsNamedIn(RunCli(work.Path(), {command, "--help"}).Out).count("--exclude")) << command;
    EXPECT_TRUE(OptionsNamedIn(RunCli(work.Path(), {"check", "--help"}).Out).count("--backups-in"));
}

TEST_F(CliCommandLine, ACommandsHelpIsItsOwnAndTheGlobalOneHoldsTheExitCodes) {
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"backup", "--help"}, {"-h", "backup"}, {"backup", "--dir", "/x", "-h"}}) {
        const TCliRun run = RunCli(work.Path(), line);
        EXPECT_EQ(run.Code, 0) << run.Err;
        EXPECT_EQ(run.Out.rfind("Usage: tablora-cli backup ", 0), 0u) << run.Out;
        EXPECT_NE(run.Out.find("--to-zip FILE"), std::string::npos) << run.Out;
        EXPECT_EQ(run.Out.find("Commands:"), std::string::npos) << run.Out;
        EXPECT_EQ(run.Out.find("--from-zip"), std::string::npos) << run.Out;
    }
    const TCliRun global = RunCli(work.Path(), {"--help"});
    EXPECT_EQ(global.Code, 0);
    for (const char* line : {"  0  done", "  1  done, with problems", "  2  usage", "  3  refused or failed with nothing changed",
                             "  4  failed part way"})
        EXPECT_NE(global.Out.find(line), std::string::npos) << line << "\n" << global.Out;
}

// A slip gets the nearest name in a few lines; a word far from every command gets none.
TEST_F(CliCommandLine, ATypoIsAnsweredWithTheNearestNameInAFewLines) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> slips{
        {{"bakup", "--dir", "/d", "--to-zip", "/z.zip"}, "unknown command bakup; did you mean \"backup\"?"},
        {{"restor", "--dir", "/d"}, "did you mean \"restore\"?"},
        {{"chek", "--dir", "/d", "--all"}, "did you mean \"check\"?"},
        {{"restore", "--dir", "/d", "--from-zp", "/z.zip"}, "unknown option --from-zp; did you mean \"--from-zip\"?"},
        {{"export", "--dir", "/d", "--to-sqllite", "/x"}, "did you mean \"--to-sqlite\"?"},
    };
    for (const auto& [line, says] : slips) {
        const TCliRun run = RunCli(work.Path(), line);
        EXPECT_EQ(run.Code, 2) << line[0];
        EXPECT_NE(run.Err.find(says), std::string::npos) << run.Err;
        EXPECT_LE(std::count(run.Err.begin(), run.Err.end(), '\n'), 3) << run.Err;
    }
    const TCliRun far = RunCli(work.Path(), {"frobnicate", "--dir", "/d"});
    EXPECT_EQ(far.Code, 2);
    EXPECT_NE(far.Err.find("unknown command frobnicate\n"), std::string::npos) << far.Err;
}

} // namespace
