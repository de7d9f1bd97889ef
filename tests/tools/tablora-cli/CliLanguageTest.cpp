// tablora-cli speaks English to scripts, and Slovak to a user whose locale asks for it.
#include "tests/support/TempDir.h"
#include "tests/tools/tablora-cli/CliProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace test;
namespace fs = std::filesystem;

class CliLanguage : public ::testing::Test {
protected:
    // Runs tablora-cli under the locale variables given (all others cleared).
    TProgramRun Cli(const std::vector<std::string>& args, const std::string& all, const std::string& messages,
                    const std::string& lang) {
        const std::vector<std::string> env{"TABLORA_ENGINE_CONFIG=" + work / "engine.cfg", "LC_ALL=" + all,
                                           "LC_MESSAGES=" + messages, "LANG=" + lang};
        return RunProgram(TABLORA_CLI, args, work / "output", env);
    }

    TempDir work;
};

TEST_F(CliLanguage, EnglishUnlessTheLocaleAsksForSlovak) {
    const std::string missing = work / "missing";
    const std::vector<std::string> list{"list", "--dir", missing};
    EXPECT_NE(Cli(list, "", "", "").Output.find("The database directory \"" + missing + "\" does not exist."),
              std::string::npos);
    EXPECT_NE(Cli(list, "", "", "en_US.UTF-8").Output.find("does not exist"), std::string::npos);
    const std::string slovak = "Adresár databázy \"" + missing + "\" neexistuje.";
    EXPECT_NE(Cli(list, "", "", "sk_SK.UTF-8").Output.find(slovak), std::string::npos);
    EXPECT_NE(Cli(list, "", "sk_SK.UTF-8", "en_US.UTF-8").Output.find(slovak), std::string::npos);
    EXPECT_NE(Cli(list, "C", "sk_SK.UTF-8", "sk_SK.UTF-8").Output.find("does not exist"), std::string::npos);
}

TEST_F(CliLanguage, TheSystemsReasonFollowsTheLanguage) {
    fs::create_symlink(work / "loop", work / "loop");
    const std::vector<std::string> list{"list", "--dir", work / "loop"};
    const TProgramRun english = Cli(list, "", "", "C.UTF-8");
    EXPECT_NE(english.Output.find("cannot be reached (Too many levels of symbolic links)"), std::string::npos)
        << english.Output;
    const TProgramRun slovak = Cli(list, "", "", "sk_SK.UTF-8");
    EXPECT_NE(slovak.Output.find("nie je dostupný (Príliš veľa úrovní symbolických odkazov)"), std::string::npos)
        << slovak.Output;
}

} // namespace
