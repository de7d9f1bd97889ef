// pdx alias and pdx copy, driven through the command registry as the program runs them.
#include "tests/tools/pdx/PdxRunner.h"
#include "platform/engine/ParadoxTables.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

using test::Pdx;

TEST(PdxWrite, AliasesAreSetListedAndRemoved) {
    test::TempDir dir;
    ::setenv("TABLORA_ENGINE_CONFIG", (dir / "engine.cfg").c_str(), 1);
    EXPECT_EQ(Pdx({"alias", "list"}).out, "");
    EXPECT_EQ(Pdx({"alias", "set", "Orvan", dir.Path()}).code, pdx::ExitOk);
    EXPECT_EQ(Pdx({"alias", "list"}).out, "Orvan\t" + dir.Path() + "\n");
    EXPECT_EQ(Pdx({"alias", "set", "Other", dir / "missing"}).code, pdx::ExitUnreadable);
    EXPECT_EQ(Pdx({"alias", "remove", "Orvan"}).code, pdx::ExitOk);
    EXPECT_EQ(Pdx({"alias", "remove", "Orvan"}).code, pdx::ExitUnreadable);
    EXPECT_EQ(Pdx({"alias", "list"}).out, "");
    EXPECT_EQ(Pdx({"alias", "bogus"}).code, pdx::ExitUnreadable);
    ::unsetenv("TABLORA_ENGINE_CONFIG");
}

TEST(PdxWrite, CopyMakesAnEqualTable) {
    test::TempDir dir;
    const std::string src = std::string(TABLORA_SAMPLES_DIR) + "/paradoxdriver/src/test/resources/db/CUSTOMER.DB";
    const test::TPdxResult copy = Pdx({"copy", src, dir / "Copy"});
    ASSERT_EQ(copy.code, pdx::ExitOk) << copy.err;
    EXPECT_EQ(Pdx({"dump", dir / "Copy.db"}).out, Pdx({"dump", src}).out);
    EXPECT_EQ(Pdx({"verify", dir / "Copy.db"}).code, pdx::ExitOk);
    EXPECT_EQ(engine::paradox::OpenTableByPath(dir / "Copy.db")->Header().AutoIncrement, 44u);
    EXPECT_EQ(Pdx({"copy", src, dir / "Copy"}).code, pdx::ExitUnreadable);  // exists already
    EXPECT_EQ(Pdx({"copy", src}).code, pdx::ExitUnreadable);
}

} // namespace
