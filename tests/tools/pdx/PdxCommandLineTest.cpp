// pdx's command line: what a wrong one says, help before anything else, values that look like
// options, and JSON that stays valid UTF-8 whatever bytes a table's file name holds.
#include "tests/support/TempDir.h"
#include "tests/tools/pdx/PdxRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using test::Pdx;

const std::string Resources = std::string(TABLORA_SAMPLES_DIR) + "/paradoxdriver/src/test/resources";

std::string CopyFamily(const std::string& dir, const std::string& stem, const test::TempDir& to,
                       const std::string& newStem) {
    for (const auto& e : fs::directory_iterator(Resources + "/" + dir))
        if (e.path().stem() == stem)
            fs::copy_file(e.path(), fs::path(to.Path()) / (newStem + e.path().extension().string()));
    return to / (newStem + ".DB");
}

TEST(PdxCommandLine, AWrongLineNamesWhatIsWrongAndTheCommandsUsage) {
    const std::string t = Resources + "/db/ORDERS.DB";
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases{
        {{"dump", t, "--bogus"}, {"--bogus", "Usage: pdx dump TABLE\n"}},
        {{"dump", t, t}, {"Usage: pdx dump TABLE\n"}},
        {{"copy", t}, {"DEST", "Usage: pdx copy SOURCE DEST\n"}},
        {{"add-index", t, "OrderNo", "--name"}, {"--name needs a value", "Usage: pdx add-index"}},
        {{"probe", t, "--key"}, {"--key", "Usage: pdx probe TABLE [--json]\n"}},
        {{"rebuild", "--json"}, {"TABLE", "Usage: pdx rebuild"}},
        {{"frobnicate"}, {"unknown command \"frobnicate\"", "Usage: pdx COMMAND"}},
    };
    for (const auto& [args, said] : cases) {
        const auto r = Pdx(args);
        EXPECT_EQ(r.code, pdx::ExitUnreadable) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        for (const auto& s : said) EXPECT_NE(r.err.find(s), std::string::npos) << args[0] << ": " << s << "\n" << r.err;
    }
}

TEST(PdxCommandLine, HelpIsGivenEvenWhenTheArgumentsAreMissing) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"append", "--help"}, {"copy", "x", "-h"},
                                                 {"rebuild", "--json", "--help"}}) {
        const auto r = Pdx(args);
        EXPECT_EQ(r.code, pdx::ExitOk) << args[0] << r.err;
        EXPECT_EQ(r.out.rfind("Usage: pdx " + args[0] + " ", 0), 0u) << r.out;
    }
    const auto usage = Pdx({"help"});
    EXPECT_EQ(usage.code, pdx::ExitOk);
    EXPECT_EQ(usage.out, Pdx({"--help"}).out);
}

// A negative key is a value, not an option; options stand anywhere after the command.
TEST(PdxCommandLine, NegativeValuesAreValuesAndOptionsStandAnywhere) {
    test::TempDir dir;
    const std::string table = CopyFamily("joins", "C", dir, "C");
    auto r = Pdx({"append", "--json", table, "C=-7", "A=-4"});
    ASSERT_EQ(r.code, pdx::ExitOk) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out).at("key"), nlohmann::json::array({"-7"})) << r.out;
    r = Pdx({"delete", table, "--key", "-7", "--json"});
    ASSERT_EQ(r.code, pdx::ExitOk) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out).at("result"), "deleted");
}

TEST(PdxJson, FileNamesThatAreNotUtf8PrintAsReplacementAndSlovakOnesWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "NTFS keeps names in UTF-16: a name that is not UTF-8 cannot be made there";
#endif
    test::TempDir dir;
    const std::string codePage = CopyFamily("db", "ORDERS", dir, "Br\x9a" "any");
    const std::string slovak = CopyFamily("db", "ORDERS", dir, "Objednávky_čšťž");
    for (const auto& [path, shown] : {std::pair{codePage, dir / "Br\xef\xbf\xbd" "any.DB"}, std::pair{slovak, slovak}}) {
        for (const std::vector<std::string>& args : {std::vector<std::string>{"info", path}, {"probe", path, "--json"}}) {
            const auto r = Pdx(args);
            EXPECT_EQ(r.code, pdx::ExitOk) << r.err;
            try {
                const auto json = nlohmann::json::parse(r.out);  // rejects bytes that are not UTF-8
                EXPECT_EQ(json.value(args[0] == "info" ? "file" : "table", ""), shown) << r.out;
            } catch (const nlohmann::json::exception& e) {
                ADD_FAILURE() << args[0] << ": " << e.what() << "\n" << r.out;
            }
        }
    }
}

} // namespace
