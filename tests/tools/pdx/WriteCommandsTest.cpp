// pdx alias and pdx copy, driven through the command registry as the program runs them.
#include "tools/pdx/CommandRegistry.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

struct TRun {
    int Code;
    std::string Out;
    std::string Err;
};

TRun Pdx(std::vector<std::string> args) {
    pdx::TCommandRegistry registry;
    pdx::RegisterReadCommands(registry);
    pdx::RegisterWriteCommands(registry);
    args.insert(args.begin(), "pdx");
    std::ostringstream out, err;
    const int code = registry.Run(args, out, err);
    return TRun{code, out.str(), err.str()};
}

TEST(PdxWrite, AliasesAreSetListedAndRemoved) {
    test::TempDir dir;
    ::setenv("TABLORA_ENGINE_CONFIG", (dir / "engine.cfg").c_str(), 1);
    EXPECT_EQ(Pdx({"alias", "list"}).Out, "");
    EXPECT_EQ(Pdx({"alias", "set", "Orvan", dir.Path()}).Code, pdx::ExitOk);
    EXPECT_EQ(Pdx({"alias", "list"}).Out, "Orvan\t" + dir.Path() + "\n");
    EXPECT_EQ(Pdx({"alias", "set", "Other", dir / "missing"}).Code, pdx::ExitUnreadable);
    EXPECT_EQ(Pdx({"alias", "remove", "Orvan"}).Code, pdx::ExitOk);
    EXPECT_EQ(Pdx({"alias", "remove", "Orvan"}).Code, pdx::ExitUnreadable);
    EXPECT_EQ(Pdx({"alias", "list"}).Out, "");
    EXPECT_EQ(Pdx({"alias", "bogus"}).Code, pdx::ExitUnreadable);
    ::unsetenv("TABLORA_ENGINE_CONFIG");
}

TEST(PdxWrite, CopyMakesAnEqualTable) {
    test::TempDir dir;
    const std::string src = std::string(TABLORA_SAMPLES_DIR) + "/paradoxdriver/src/test/resources/db/CUSTOMER.DB";
    const TRun copy = Pdx({"copy", src, dir / "Copy"});
    ASSERT_EQ(copy.Code, pdx::ExitOk) << copy.Err;
    EXPECT_EQ(Pdx({"dump", dir / "Copy.db"}).Out, Pdx({"dump", src}).Out);
    EXPECT_EQ(Pdx({"verify", dir / "Copy.db"}).Code, pdx::ExitOk);
    EXPECT_EQ(engine::paradox::OpenTableByPath(dir / "Copy.db")->Header().AutoIncrement, 44u);
    EXPECT_EQ(Pdx({"copy", src, dir / "Copy"}).Code, pdx::ExitUnreadable);  // exists already
    EXPECT_EQ(Pdx({"copy", src}).Code, pdx::ExitUnreadable);
}

} // namespace
