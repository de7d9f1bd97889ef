#include "tools/tablora-cli/CliOptions.h"
#include "tools/tablora-cli/ConsoleUiServices.h"

#include "platform/rtl/Error.h"

#include <gtest/gtest.h>

#include <vector>

using namespace cli;

namespace {

CliOptions Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tablora-cli");
    return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

} // namespace

TEST(CliOptions, ReadsEachCommandsOptions) {
    const CliOptions b = Parse({"backup", "--alias", "Orvan", "--to-zip", "/b/z.zip", "--no-indexes", "--verify"});
    EXPECT_EQ(b.command, "backup");
    EXPECT_EQ(b.alias, "Orvan");
    EXPECT_EQ(b.toZip, "/b/z.zip");
    EXPECT_TRUE(b.noIndexes);
    EXPECT_TRUE(b.verify);
    const CliOptions r = Parse({"repair-keys", "--dir", "/d", "--tables", "Hovory,Tel_zoz", "--yes", "--json"});
    EXPECT_EQ(r.tables, "Hovory,Tel_zoz");
    EXPECT_EQ(r.answer, std::optional<bool>(true));
    EXPECT_TRUE(r.json);
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
    };
    for (const auto& args : bad) EXPECT_THROW(Parse(args), UsageError) << (args.empty() ? "(none)" : args[0]);
}

TEST(ConsoleUi, QuestionsNeedAnAnswerOffATerminal) {
    ConsoleUiServices preset(true, false);
    EXPECT_EQ(preset.ShowMessage({"Obnova", "Ignorovať chybu ?", ui::MsgIcon::Warning, ui::MsgButtons::YesNo,
                                  ui::MsgAnswer::Yes}),
              ui::MsgAnswer::Yes);
    ConsoleUiServices none(std::nullopt, false);
    EXPECT_THROW(none.ShowMessage({"Obnova", "Ignorovať chybu ?", ui::MsgIcon::Warning, ui::MsgButtons::YesNo,
                                   ui::MsgAnswer::Yes}),
                 rtl::EError);
    // Plain messages need no answer and are counted.
    none.ShowMessage({"Záloha", "Nepodarilo sa", ui::MsgIcon::Error, ui::MsgButtons::Ok, ui::MsgAnswer::Ok});
    EXPECT_EQ(none.ErrorCount(), 1);
    EXPECT_EQ(ConsoleText("a\r\nb\rc"), "a\nb\nc");
}
