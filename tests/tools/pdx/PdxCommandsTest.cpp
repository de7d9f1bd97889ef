// The pdx inspector end to end through its command registry: CSV and JSON output, exit
// codes, help texts.
#include "platform/engine/ParadoxTables.h"
#include "tests/platform/engine/TinyTable.h"
#include "tests/support/TempDir.h"
#include "tests/tools/pdx/PdxRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

using namespace engine::paradox;

using test::Pdx;

std::string Sample(const std::string& rel) { return std::string(TABLORA_SAMPLES_DIR) + "/" + rel; }

TEST(PdxDump, WritesFieldNamesThenRowsInChainOrder) {
    const auto r = Pdx({"dump", Sample("paradoxdriver/src/test/resources/db/DECIMAL")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "DECIMAL\n-200\n-20\n-1\n1\n20\n200\n200.36\n1.37\n-1.387\n");
}

TEST(PdxDump, QuotesCellsAndKeepsLoneBlankRowsVisible) {
    test::TempDir dir;
    test::TinyTable t;
    t.fields = {{"Text", ftAlpha, 12, 12}};
    for (const char* s : {"a,b", "say \"hi\"", "two\nlines", "", "plain"}) t.records.push_back(test::Alpha(s, 12));
    dir.WriteFile("quotes.db", t.Build());
    const auto r = Pdx({"dump", dir / "QUOTES.DB"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Text\n\"a,b\"\n\"say \"\"hi\"\"\"\n\"two\nlines\"\n\"\"\nplain\n");
}

TEST(PdxDump, EveryTypeFormattedAsDocumented) {
    const auto r = Pdx({"dump", Sample("Rparadox/inst/extdata/TypSammlung.DB")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Zweite Zeile,-40,-40,-40,-40,-40.000000,1999-09-09,11:11:11,2003-06-10 11:11:11,,true,2,,"),
              std::string::npos)
        << r.out;
    const auto g = Pdx({"dump", Sample("paradoxdriver/src/test/resources/fields/graphic240.db")});
    EXPECT_NE(g.out.find(",01000001"), std::string::npos);  // graphic bytes in hex with their prefix
}

TEST(PdxDump, UnreadableBlobIsAnEmptyCellReportedOnStderr) {
    test::TempDir dir;
    for (const auto* ext : {".DB", ".PX"})
        std::filesystem::copy_file(Sample(std::string("paradoxdriver/src/test/resources/db/CUSTOMER") + ext),
                                   dir / (std::string("CUSTOMER") + ext));
    const auto r = Pdx({"dump", dir / "customer"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("memo"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 21);
}

TEST(PdxInfo, DescribesHeaderFieldsIndexesAndProblems) {
    const auto r = Pdx({"info", Sample("paradoxdriver/src/test/resources/db/CUSTOMER.DB")});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* s : {"\"version\": \"7.x\"", "\"blockSize\": 2048", "\"recordSize\": 394",
                          "\"headerRecordCount\": 20", "\"recordsFound\": 20", "\"name\": \"CustNo\"",
                          "\"type\": \"AutoInc\"", "\"keyFieldCount\": 1", "\"autoIncrement\": 44",
                          "\"codePage\": 1252", "\"sortOrder\": \"ANSII850\"", "\"encrypted\": false",
                          "\"primary\": true", "\"primary\": false", "\"problems\": []"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    EXPECT_LT(r.out.find("\"primary\": true"), r.out.find("\"primary\": false"));
    const auto enc = Pdx({"info", Sample("paradoxdriver/src/test/resources/encrypt/encrypted.db")});
    EXPECT_NE(enc.out.find("\"encrypted\": true"), std::string::npos);
}

TEST(PdxVerify, ExitCodesCleanDamagedUnreadable) {
    EXPECT_EQ(Pdx({"verify", Sample("paradoxdriver/src/test/resources/db/ORDERS.DB")}).code, 0);
    const auto missingPx = Pdx({"verify", Sample("Rparadox/inst/extdata/country.db")});
    EXPECT_EQ(missingPx.code, 1);
    EXPECT_NE(missingPx.out.find("primary index"), std::string::npos);
    EXPECT_EQ(Pdx({"verify", Sample("paradoxdriver/src/test/resources/encrypt/encrypted.db")}).code, 2);
    const auto missing = Pdx({"verify", "/nonexistent/TABLE"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("TABLE"), std::string::npos);
    test::TempDir dir;
    dir.WriteFile("junk.db", std::string(300, 'x'));
    EXPECT_EQ(Pdx({"verify", dir / "junk.db"}).code, 2);
}

// Several tables in one run: each line names its table as given, a clean table prints
// nothing, and the worst exit status of them is the run's.
TEST(PdxVerify, SeveralTablesInOneRunNameTheirLinesAndReturnTheWorstStatus) {
    const std::string clean = Sample("paradoxdriver/src/test/resources/db/ORDERS.DB");
    const std::string damaged = Sample("Rparadox/inst/extdata/country.db");
    const auto alone = Pdx({"verify", damaged});
    ASSERT_EQ(alone.code, 1);
    ASSERT_FALSE(alone.out.empty());

    const auto both = Pdx({"verify", clean, damaged});
    EXPECT_EQ(both.code, 1);
    std::string expected;
    std::istringstream lines(alone.out);
    for (std::string line; std::getline(lines, line);) expected += damaged + ": " + line + "\n";
    EXPECT_EQ(both.out, expected);

    const auto withMissing = Pdx({"verify", "/nonexistent/TABLE", clean, damaged});
    EXPECT_EQ(withMissing.code, 2);
    EXPECT_EQ(withMissing.out, expected);
    EXPECT_NE(withMissing.err.find("TABLE"), std::string::npos);
    EXPECT_EQ(Pdx({"verify", clean, clean}).code, 0);
}

// A record the end of the file cuts off is damage: verify reports it, dump names it on
// standard error and prints no shortened value. A short final block whose records are all
// whole (as old writers left them) is not.
TEST(PdxVerify, RecordCutOffByTheEndOfTheFileIsDamageAndNotDumped) {
    test::TempDir dir;
    test::TinyTable t;
    t.fields = {{"Name", ftAlpha, 40, 40}};
    t.recordsPerBlock = 5;
    for (int i = 1; i <= 8; ++i) t.records.push_back(test::Alpha("row number " + std::to_string(i) + " in full", 40));
    std::string bytes = t.Build();
    const std::size_t block2 = bytes.size() - 1024;  // 1 KiB blocks: block 2 holds rows 6 to 8
    dir.WriteFile("whole.db", bytes.substr(0, block2 + 6 + 3 * 40));
    dir.WriteFile("cut.db", bytes.substr(0, block2 + 6 + 2 * 40 + 25));
    const auto whole = Pdx({"verify", dir / "whole.db"});
    EXPECT_EQ(whole.code, 0) << whole.out;
    const auto verify = Pdx({"verify", dir / "cut.db"});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find("record 3 of the block is cut off by the end of the file (25 of its 40 bytes"),
              std::string::npos)
        << verify.out;
    const auto dump = Pdx({"dump", dir / "cut.db"});
    EXPECT_EQ(dump.code, 1);
    EXPECT_EQ(dump.out.find("row number 8"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("row number 7 in full\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.err.find("block 2"), std::string::npos) << dump.err;
    EXPECT_NE(dump.err.find("record 3 of the block cannot be read whole"), std::string::npos) << dump.err;
}

TEST(PdxHelp, EveryCommandHasHelpAndUnknownCommandsFail) {
    for (const char* c : {"info", "dump", "verify"}) {
        const auto r = Pdx({c, "--help"});
        EXPECT_EQ(r.code, 0);
        EXPECT_NE(r.out.find(std::string("pdx ") + c), std::string::npos);
    }
    const auto all = Pdx({"--help"});
    EXPECT_EQ(all.code, 0);
    EXPECT_NE(all.out.find("verify"), std::string::npos);
    EXPECT_EQ(Pdx({"frobnicate"}).code, 2);
    EXPECT_EQ(Pdx({}).code, 2);
    EXPECT_EQ(Pdx({"dump"}).code, 2);
}

} // namespace
