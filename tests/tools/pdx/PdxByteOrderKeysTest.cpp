// Two equal text keys side by side in a table under the byte ("ascii") order, the one order
// whose neighbours the check compares: verify names them, and no write goes on over them
// (a rewrite would drop one of the two rows).
#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/tools/pdx/PdxRunner.h"

#include "platform/engine/ParadoxWriters.h"
#include "tools/pdx/CommandRegistry.h"

#include <gtest/gtest.h>

namespace {

using test::Pdx;

TEST(PdxByteOrderKeys, EqualNeighboursAreFoundByVerifyAndStopEveryWrite) {
    test::TempDir dir;
    const std::string ok = test::MakeTextKeyed(dir / "Ok.db", {"Bach", "Bacha", "Zebra"}, 0, "ascii");
    ASSERT_TRUE(engine::paradox::OrdersTextByBytes(engine::paradox::TParadoxTable::Open(ok)->Header()));
    auto r = Pdx({"verify", ok});
    EXPECT_EQ(r.code, pdx::ExitOk) << r.out << r.err;

    test::TempDir dupDir;
    const std::string dup = test::MakeTextKeyed(dupDir / "Dup.db", {"Bach", "Bach", "Zebra"}, 0, "ascii");
    r = Pdx({"verify", dup});
    EXPECT_EQ(r.code, pdx::ExitProblems) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find("duplicate key"), std::string::npos) << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find("not checked"), std::string::npos) << r.out << r.err;

    // A new key of its own ("Mozart") would make the engine rewrite the table.
    const auto before = test::DirectoryBytes(dupDir.Path());
    r = Pdx({"append", dup, "Name=Mozart", "N=9"});
    EXPECT_NE(r.code, pdx::ExitOk) << r.out;
    EXPECT_NE((r.out + r.err).find("Key violation"), std::string::npos) << r.out << r.err;
    test::ExpectSameFiles(before, test::DirectoryBytes(dupDir.Path()));

    // A batch move that counts key violations instead of stopping: the stored repeat is no
    // violation of the row moved in, and counting it would drop a stored row.
    test::TempDir sourceDir;
    const test::TMoveOutcome moved =
        test::MoveCountingViolations(test::MakeTextKeyed(sourceDir / "New.db", {"Mozart"}, 0, "ascii"), dup);
    EXPECT_TRUE(moved.Refused) << "the move went on; key violations counted: " << moved.Counted;
    EXPECT_EQ(moved.Kind, engine::TEngineErrorKind::KeyViolation) << moved.Message;
    test::ExpectSameFiles(before, test::DirectoryBytes(dupDir.Path()));
    EXPECT_EQ(test::ReadRows(dup).size(), 3u);
}

} // namespace
