// pdx, run as a real process, on what a damaged or odd installation hands it: tables that
// are missing, directories under a table's name, headers at and past their limits, files the
// system refuses to read or write (struck inside the process through TABLORA_FS_FAULT), paths
// with blanks, Slovak letters and over 300 characters, tables whose names differ only in
// letter case, a table of 255 fields. Each command says what is wrong and exits with 1 or 2,
// and a table it could not change is left byte for byte.
#include "tests/database/CallTables.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HeaderLimits.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int ExitOk = 0, ExitUnreadable = 2;

class PdxBadInput : public ::testing::Test {
protected:
    TProgramRun Pdx(const std::vector<std::string>& args, const std::string& fault = {}) {
        std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg"};
        if (!fault.empty()) env.push_back("TABLORA_FS_FAULT=" + fault);
        return RunProgram(TABLORA_PDX, args, work / "output", env);
    }
    // Every command that takes a table, as it is run on `table`.
    std::vector<std::vector<std::string>> Commands(const std::string& table) {
        return {{"info", table},   {"dump", table},          {"verify", table},
                {"probe", table},  {"append", table, "Name=x"}, {"add-index", table, "Small"}};
    }
    TempDir work;
};

TEST_F(PdxBadInput, MissingTablesAndDirectoriesUnderATablesName) {
    fs::create_directories(work / "Adresar.db");
    for (const auto& [table, says] : std::vector<std::pair<std::string, std::string>>{
             {work / "Chyba.db", "Table \"Chyba.db\" does not exist"},
             {work / "Adresar.db", "Table \"Adresar.db\" does not exist"}})
        for (const auto& args : Commands(table)) {
            const TProgramRun run = Pdx(args);
            EXPECT_EQ(run.Code, ExitUnreadable) << args[0] << ": " << run.Output;
            EXPECT_NE(run.Output.find(says), std::string::npos) << args[0] << ": " << run.Output;
        }
    const std::string file = work.WriteFile("plain", "x");
    const TProgramRun alias = Pdx({"alias", "set", "Orvan", file});
    EXPECT_EQ(alias.Code, ExitUnreadable);
    EXPECT_NE(alias.Output.find("is not a directory"), std::string::npos) << alias.Output;
}

TEST_F(PdxBadInput, HeadersAtAndPastTheirLimits) {
    for (const THeaderLimit& limit : HeaderLimits()) {
        SCOPED_TRACE(limit.Name);
        const std::string table = work / "Zly.DB";
        for (const auto& e : fs::directory_iterator(work.Path()))
            if (e.path().filename().string().rfind("Zly.", 0) == 0) fs::remove(e.path());
        MakeCallTable(table, 30);
        PatchHeader(table, limit);
        const std::string before = FileBytes(table);
        for (const auto& args : Commands(table)) {
            const TProgramRun run = Pdx(args);
            const bool reads = args[0] == "info" || args[0] == "dump" || args[0] == "verify" ||
                               (args[0] == "probe" && limit.Probed);
            if (limit.Opens && reads) {
                EXPECT_NE(run.Code, ExitUnreadable) << args[0] << ": " << run.Output;
                if (args[0] == "info" || args[0] == "verify") {
                    EXPECT_NE(run.Output.find(limit.Says), std::string::npos) << args[0] << ": " << run.Output;
                }
            } else {
                EXPECT_NE(run.Code, ExitOk) << args[0] << ": " << run.Output;
                EXPECT_NE(run.Output.find(limit.Opens ? "damaged" : limit.Says), std::string::npos)
                    << args[0] << ": " << run.Output;
            }
            // Rows are never rewritten; only a probe that passed moves the counter (0x49).
            EXPECT_TRUE(FileBytes(table).substr(0x80) == before.substr(0x80)) << args[0];
        }
    }
}

TEST_F(PdxBadInput, RefusedReadsAndWritesAreToldAndChangeNothing) {
    const std::string table = MakeCallTable(work / "Hovory.DB", 30);
    const std::string before = FileBytes(table);
    struct TCase {
        std::vector<std::string> Args;
        std::string Fault, Says;
    };
    for (const TCase& c : std::vector<TCase>{
             {{"dump", table}, "ops=open-read;nth=1;errno=EACCES;persist;path=Hovory", "Permission denied"},
             {{"verify", table}, "ops=read;nth=3;errno=EIO;persist", "Input/output error"},
             {{"append", table, "Name=x"}, "ops=open-write;nth=1;errno=EROFS;persist", "Read-only file system"},
             {{"append", table, "Name=x", "Notes=" + std::string(5000, 'n')}, "ops=write;nth=1;errno=ENOSPC;persist",
              "No space left on device"},
             {{"add-index", table, "Small"}, "ops=write;nth=2;errno=ENOSPC;persist", "No space left on device"}}) {
        const TProgramRun run = Pdx(c.Args, c.Fault);
        EXPECT_NE(run.Code, ExitOk) << c.Args[0] << ": " << run.Output;
        EXPECT_NE(run.Output.find(c.Says), std::string::npos) << c.Args[0] << ": " << run.Output;
        EXPECT_TRUE(FileBytes(table) == before) << c.Args[0];
        for (const auto& e : fs::directory_iterator(work.Path()))
            EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << c.Args[0] << " left " << e.path();
    }
}

TEST_F(PdxBadInput, PathsLetterCaseTwinsAndTheWidestTable) {
    std::string deep = work / "Databáza účtovníctva/Ústredňa č. 1";
    while (deep.size() < 320) deep += "/Hovory za mesiac ďalší";
    fs::create_directories(deep);
    const std::string table = MakeCallTable(deep + "/Hovory.DB", 20);
    EXPECT_EQ(Pdx({"append", table, "Name=nový riadok"}).Code, ExitOk);
    EXPECT_EQ(Pdx({"probe", table}).Code, ExitOk);
    const TProgramRun dump = Pdx({"dump", table});
    EXPECT_EQ(dump.Code, ExitOk);
    EXPECT_NE(dump.Output.find("nový riadok"), std::string::npos);

    // "Hovory.DB" beside "HOVORY.db": each is read as itself; neither is written.
    MakeCallTable(work / "HOVORY.db", 3);
    fs::copy_file(work / "HOVORY.db", deep + "/HOVORY.db");
    fs::copy_file(work / "HOVORY.px", deep + "/HOVORY.px");
    fs::copy_file(work / "HOVORY.mb", deep + "/HOVORY.mb");
    const std::string twin = FileBytes(deep + "/HOVORY.db");
    const TProgramRun refused = Pdx({"append", table, "Name=x"});
    EXPECT_NE(refused.Code, ExitOk);
    EXPECT_NE(refused.Output.find("differs from it only in letter case"), std::string::npos) << refused.Output;
    EXPECT_TRUE(FileBytes(deep + "/HOVORY.db") == twin);
    EXPECT_NE(Pdx({"info", deep + "/HOVORY.db"}).Output.find("\"recordsFound\": 3"), std::string::npos);

    const std::string wide = MakeWidestTable(work / "Siroka.DB", 40);
    EXPECT_EQ(Pdx({"append", wide, "F254=end"}).Code, ExitOk);
    const TProgramRun wideDump = Pdx({"dump", wide});
    EXPECT_EQ(wideDump.Code, ExitOk);
    EXPECT_NE(wideDump.Output.find(",end\n"), std::string::npos);
    EXPECT_EQ(Pdx({"verify", wide}).Code, ExitOk);
}

} // namespace
