// Two tables whose names differ only in letter case ("Brany.DB" beside "BRANY.db", copied from
// a system that tells them apart): each is read as itself, and neither family is changed,
// since their companions cannot be told apart and a change of one would move, replace or
// delete the other's files.
#include "WriteOperations.h"
#include "WriterFixtures.h"
#include "platform/engine/TableFamily.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace test;
namespace fs = std::filesystem;

TEST(LetterCaseTwins, AreReadEachAsItselfAndNeverChanged) {
    TempDir dir, made;
    MakeTable(dir / "T.db", AllTypesLayout(1), 30);
    MakeTable(made / "t.DB", AllTypesLayout(1), 7);
    for (const char* name : {"t.DB", "t.MB", "t.PX"}) fs::copy_file(made / name, dir / name);
    const auto before = DirectoryBytes(dir.Path());
    EXPECT_EQ(engine::FindDataFile(dir.Path(), "T"), dir / "T.db");
    EXPECT_EQ(engine::FindDataFile(dir.Path(), "t"), dir / "t.DB");
    EXPECT_EQ(ReadRows(engine::FindDataFile(dir.Path(), "t")).size(), 7u);

    auto refused = [&](const std::function<void()>& change) {
        try {
            change();
            ADD_FAILURE() << "a change of one twin was made";
        } catch (const engine::EDBEngineError& e) {
            EXPECT_NE(std::string(e.what()).find("differs from it only in letter case"), std::string::npos) << e.what();
        }
    };
    refused([&] { InsertRow(dir.Path()); });
    refused([&] {
        engine::TTable t;
        t.TableName = dir / "T.db";
        t.DeleteTable();
    });
    refused([&] {
        engine::TTable t;
        t.TableName = dir / "t.DB";
        t.RenameTable("Other");
    });
    ExpectSameFiles(before, DirectoryBytes(dir.Path()));
}

} // namespace
