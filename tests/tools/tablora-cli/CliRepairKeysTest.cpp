// tablora-cli repair-keys: one line (or JSON object) per table, saying whether it passed,
// was repaired (rows before and after) or could not be copied.
#include "platform/engine/AliasConfig.h"
#include "platform/rtl/AppLocations.h"
#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/TempDir.h"
#include "tools/tablora-cli/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

using namespace test;

class CliRepairKeys : public ::testing::Test {
protected:
    TempDir program, db;

    void SetUp() override {
        rtl::OverrideProgramDirectory(program.Path());
        ::setenv(engine::EngineConfigEnvVar, (program / "engine.cfg").c_str(), 1);
        TTableLayout layout;
        layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Cislo", ftAlpha, 20}, {"Poznamka", ftMemo, 12}};
        layout.KeyFieldCount = 1;
        for (const char* name : {"Hovory", "Tel_zoz"})
            MakeTable(db / (std::string(name) + ".DB"), layout, 40, [](std::uint64_t i, int f) -> engine::TValue {
                if (f == 1) return "0905" + std::to_string(i);
                if (f == 2) return std::string(100 + i, 'p');
                return std::monostate{};
            });
        StoreAutoIncrement(db / "Tel_zoz.DB", 40, 3);
    }
    void TearDown() override {
        ::unsetenv(engine::EngineConfigEnvVar);
        rtl::OverrideProgramDirectory("");
    }
    int Run(cli::TCliOptions o, std::string& output) {
        o.command = "repair-keys";
        o.dir = db.Path();
        std::ostringstream s;
        const int code = cli::RunCli(o, s);
        output = s.str();
        return code;
    }
};

TEST_F(CliRepairKeys, ReportsEachTablePassedOrRepaired) {
    cli::TCliOptions o;
    o.allTables = true;
    std::string out;
    EXPECT_EQ(Run(o, out), cli::ExitDone);
    EXPECT_EQ(out.substr(0, out.find("summary: ")), "Hovory: passed\nTel_zoz: repaired (40 rows before, 40 after)\n");
    o.json = true;
    EXPECT_EQ(Run(o, out), cli::ExitDone);
    EXPECT_NE(out.find("\"name\": \"Tel_zoz\",\n      \"result\": \"passed\""), std::string::npos) << out;
}

TEST_F(CliRepairKeys, ACopyThatFailsIsAProblemWithTheReason) {
    // The memo file is gone: the rows cannot be copied whole, so the table stays.
    std::filesystem::remove(db / "Tel_zoz.MB");
    cli::TCliOptions o;
    o.tables = "Tel_zoz";
    o.json = true;
    std::string out;
    EXPECT_EQ(Run(o, out), cli::ExitProblem);
    EXPECT_NE(out.find("\"result\": \"copy failed\""), std::string::npos) << out;
    EXPECT_NE(out.find("memo file"), std::string::npos) << out;
    EXPECT_NE(out.find("An error occurred while copying the contents of the tables !"), std::string::npos) << out;
}

} // namespace
