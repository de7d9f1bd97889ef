// tablora-cli's --json output, read back by a strict JSON parser, for tables whose names are
// Slovak or not UTF-8 at all (Linux file names are bytes; a copy from an old Windows share
// may carry a code-page letter).
#include "tests/database/CallTables.h"
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>

namespace {

using namespace test;
namespace fs = std::filesystem;

// "Br" + the windows-1250 byte of "š" + "any": not UTF-8.
const std::string CodePageName = "Br\x9a" "any";
const std::string SlovakName = "Účty_ľšťžýáíé";
const std::string Replacement = "\xef\xbf\xbd";  // U+FFFD

class CliJson : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(db);
        MakeCallTable(db + "/" + CodePageName + ".DB", 5);
        MakeCallTable(db + "/" + SlovakName + ".DB", 5);
    }

    // Runs tablora-cli and parses what it printed; a parse failure fails the test.
    nlohmann::json Json(const std::vector<std::string>& args, int expectedCode) {
        const TProgramRun run = RunProgram(TABLORA_CLI, args, work / "output",
                                           {"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg"});
        EXPECT_EQ(run.Code, expectedCode) << run.Output;
        try {
            return nlohmann::json::parse(run.Output);  // rejects bytes that are not UTF-8
        } catch (const nlohmann::json::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << run.Output;
            return {};
        }
    }

    TempDir work;
    std::string db = work / "db";
};

TEST_F(CliJson, NamesThatAreNotUtf8StillGiveValidJsonAndSlovakNamesStayWhole) {
    const nlohmann::json list = Json({"list", "--dir", db, "--json"}, 0);
    std::set<std::string> names;
    for (const auto& t : list.value("tables", nlohmann::json::array())) names.insert(t.at("name").get<std::string>());
    EXPECT_EQ(names, (std::set<std::string>{"Br" + Replacement + "any", SlovakName})) << list.dump();

    // The health report names tables in several places (rows, advice); all of it must parse.
    const nlohmann::json check = Json({"check", "--all", "--dir", db, "--json"}, 0);
    names.clear();
    for (const auto& t : check.value("tables", nlohmann::json::array())) names.insert(t.at("name").get<std::string>());
    EXPECT_EQ(names.size(), 2u) << check.dump();
    EXPECT_TRUE(names.count(SlovakName)) << check.dump();
    EXPECT_EQ(check.value("directory", ""), db);
}

} // namespace
