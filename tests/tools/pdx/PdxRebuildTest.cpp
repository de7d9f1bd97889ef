// pdx rebuild end to end: where the companions went and what each holds, exit codes, and a
// damaged table that verifies clean afterwards.
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"
#include "tests/tools/pdx/PdxRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using test::Pdx;

// The folder named on the output's "companions in:" line, as the program wrote it (with the
// platform's separators).
std::string CompanionFolder(const std::string& out) {
    const std::string label = "companions in: ";
    const auto at = out.find(label);
    if (at == std::string::npos) return {};
    const auto begin = at + label.size();
    return out.substr(begin, out.find('\n', begin) - begin);
}

std::string Copy(const std::string& rel, const std::string& dir) {
    const std::filesystem::path from = std::string(TABLORA_SAMPLES_DIR) + "/" + rel;
    std::filesystem::copy_file(from, std::filesystem::path(dir) / from.filename());
    return (std::filesystem::path(dir) / from.filename()).string();
}

TEST(PdxRebuild, DamagedTableIsRebuiltAndTheOutputSaysWhereEverythingWent) {
    test::TempDir dir;
    const std::string path = Copy("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    Copy("paradoxdriver/src/test/resources/db/ORDERS.PX", dir.Path());
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(0x06);
        f.write("\x07\x00\x00\x00", 4);                   // the header counts 7 rows
        f.seekp(2048 + 3 * 2048 + 6 + 71);
        f.write("\xff\xff\xff\xff\xff\xff\xff\xff", 8);  // and one row's order number is no number
    }
    EXPECT_EQ(Pdx({"verify", path}).code, 1);
    const auto r = Pdx({"rebuild", path});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("ORDERS.DB: rebuilt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the header said 7"), std::string::npos) << r.out;
    const std::string companions = CompanionFolder(r.out);
    EXPECT_TRUE(rtl::SameDirectory(rtl::ExtractFileDir(companions), dir / "Rekonstrukcia")) << r.out;
    EXPECT_EQ(rtl::ExtractFileName(companions).rfind("ORDERS ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("backup of the original table: BACKUP.DB BACKUP.PX"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PROBLEM.DB: 1 row"), std::string::npos) << r.out;
    EXPECT_EQ(Pdx({"verify", path}).code, 0) << Pdx({"verify", path}).out;

    const auto json = Pdx({"rebuild", "--json", path});
    EXPECT_EQ(json.code, 0);
    EXPECT_NE(json.out.find("\"rebuilt\": true"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"rowsKept\": 223"), std::string::npos) << json.out;
}

// Rows the header counts that the rebuild finds nowhere: rebuilt with the rest, but no
// plain success.
TEST(PdxRebuild, RowsTheHeaderCountedButNotFoundExitOne) {
    test::TempDir dir;
    const std::string path = Copy("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    Copy("paradoxdriver/src/test/resources/db/ORDERS.PX", dir.Path());
    std::filesystem::resize_file(path, 2048 + 6 * 2048);  // blocks 7 and 8 gone
    const auto r = Pdx({"rebuild", path});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("ORDERS.DB: rebuilt, but "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" rows counted by the header were not found\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("rows its header counts were not found"), std::string::npos) << r.err;
}

TEST(PdxRebuild, NotRebuiltTablesExitOneWithTheReason) {
    test::TempDir dir;
    const std::string path = Copy("paradoxdriver/src/test/resources/encrypt/encrypted.db", dir.Path());
    const auto r = Pdx({"rebuild", path});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Table repair: An error occurred while working with the table \"encrypted.db\" !"), std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("encrypted.db: not rebuilt"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "Rekonstrukcia"));
    EXPECT_EQ(Pdx({"rebuild"}).code, 2);
    EXPECT_EQ(Pdx({"rebuild", dir / "missing.db"}).code, 1);
}

} // namespace
