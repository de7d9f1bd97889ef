#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/ConsoleUiServices.h"

#include "platform/rtl/Error.h"

#include <gtest/gtest.h>

#include <vector>

using namespace cli;

namespace {

TCliOptions Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tablora-cli");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

} // namespace

TEST(CliOptions, ReadsEachCommandsOptions) {
    const TCliOptions b = Parse({"backup", "--alias", "Orvan", "--to-zip", "/b/z.zip", "--no-indexes", "--verify"});
    EXPECT_EQ(b.command, "backup");
    EXPECT_EQ(b.alias, "Orvan");
    EXPECT_EQ(b.toZip, "/b/z.zip");
    EXPECT_TRUE(b.noIndexes);
    EXPECT_TRUE(b.verify);
    const TCliOptions r = Parse({"repair-keys", "--dir", "/d", "--tables", "Hovory,Tel_zoz", "--json"});
    EXPECT_EQ(r.tables, "Hovory,Tel_zoz");
    EXPECT_TRUE(r.json);
    EXPECT_EQ(Parse({"restore", "--dir", "/d", "--from-zip", "/z.zip", "--yes"}).answer, std::optional<bool>(true));
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"check-damage", "--dir", "/d", "--all"}).allTables);
}

TEST(CliOptions, RefusesIncompleteOrContradictoryCommandLines) {
    const std::vector<std::vector<const char*>> bad{
        {},
        {"frobnicate", "--dir", "/d"},
        {"list"},
        {"list", "--dir", "/d", "--alias", "Orvan"},
        {"list", "--dir"},
        {"list", "--dir", ""},
        {"backup", "--dir", "/d"},
        {"backup", "--dir", "/d", "--to-dir", "/b", "--to-zip", "/z.zip"},
        {"backup", "--dir", "/d", "--to-dir", "/b", "--verify"},
        {"restore", "--dir", "/d"},
        {"repair-keys", "--dir", "/d"},
        {"check-damage", "--dir", "/d", "--tables", "a", "--all"},
        {"list", "--dir", "/d", "--yes", "--no"},
        {"list", "--dir", "/d", "--bogus"},
        {"list", "--dir", "/d", "extra"},
        // Keeping no backup would count on the one just made alone.
        {"backup", "--dir", "/d", "--to-zip", "/z/Orvan-%F.zip", "--keep", "0"},
        {"check-damage", "--dir", "/d", "--all", "--keep-backups", "0"},
        // One structure at a time; a backup directory is for check-damage and check alone.
        {"check-damage", "--dir", "/d", "--all", "--structure-from", "/b.zip", "--backups-in", "/b"},
        {"check-damage", "--dir", "/d", "--all", "--structure-from", ""},
        {"repair-keys", "--dir", "/d", "--all", "--structure-from", "/b.zip"},
    };
    for (const auto& args : bad) EXPECT_THROW(Parse(args), EUsageError) << (args.empty() ? "(none)" : args[0]);
}

// Scripts put the options before the command as often as after it, and a wrapper that
// appends its own --dir must win over the one it was given.
TEST(CliOptions, OptionsStandOnEitherSideOfTheCommandAndTheLastRepeatCounts) {
    const TCliOptions before = Parse({"--dir", "/d", "--json", "list"});
    EXPECT_EQ(before.command, "list");
    EXPECT_EQ(before.dir, "/d");
    EXPECT_TRUE(before.json);
    EXPECT_EQ(Parse({"list", "--dir", "/a", "--dir", "/b"}).dir, "/b");
    const TCliOptions fit = Parse({"--json", "--dir", "/d", "repair-keys", "--all-fit"});
    EXPECT_TRUE(fit.allTables);
    const TCliOptions no = Parse({"--no", "--from-zip", "/z.zip", "restore", "--dir", "/d"});
    EXPECT_EQ(no.answer, std::optional<bool>(false));
    EXPECT_EQ(Parse({"restore", "--dir", "/d", "--from-zip", "/z", "--yes", "--yes"}).answer, std::optional<bool>(true));
    EXPECT_FALSE(Parse({"list", "--dir", "/d"}).answer.has_value());
    const TCliOptions keep = Parse({"backup", "--dir", "/d", "--to-zip", "/z/Orvan-%F.zip", "--keep", "1"});
    EXPECT_EQ(keep.keep, 1);
    EXPECT_TRUE(keep.verify);
}

TEST(CliOptions, AWrongLineIsToldInPlainWords) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> bad{
        {{"frobnicate", "--dir", "/d"}, "unknown command frobnicate"},
        {{"list", "--dir", "/d", "--bogus"}, "unknown option --bogus"},
        {{"--bogus", "list", "--dir", "/d"}, "unknown option --bogus"},
        {{"list", "--dir", "/d", "extra"}, "unexpected argument extra"},
        {{"list", "--dir"}, "--dir needs a value"},
        {{"list", "--dir", ""}, "--dir: needs a non-empty value"},
        {{"backup", "--dir", "/d", "--to-zip", "/z/O-%F.zip", "--keep", "-1"}, "--keep needs a whole number"},
    };
    for (const auto& [args, said] : bad) {
        try {
            Parse(args);
            ADD_FAILURE() << said;
        } catch (const EUsageError& e) {
            EXPECT_NE(e.message.find(said), std::string::npos) << e.message;
        }
    }
}

TEST(ConsoleUi, QuestionsNeedAnAnswerOffATerminal) {
    TConsoleUiServices preset(true, false);
    EXPECT_EQ(preset.ShowMessage({"Obnova", "Ignorovať chybu ?", ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo,
                                  ui::TMsgAnswer::Yes}),
              ui::TMsgAnswer::Yes);
    TConsoleUiServices none(std::nullopt, false);
    EXPECT_THROW(none.ShowMessage({"Obnova", "Ignorovať chybu ?", ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo,
                                   ui::TMsgAnswer::Yes}),
                 rtl::EError);
    // Plain messages need no answer and are counted.
    none.ShowMessage({"Záloha", "Nepodarilo sa", ui::TMsgIcon::Error, ui::TMsgButtons::Ok, ui::TMsgAnswer::Ok});
    EXPECT_EQ(none.ErrorCount(), 1);
    EXPECT_EQ(ConsoleText("a\r\nb\rc"), "a\nb\nc");
}
