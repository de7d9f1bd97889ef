// pdx's write commands end to end: a probe that passes leaves only the counter moved, one
// that fails says "key violation"; rows appended and deleted by key; indexes added; the
// notes of verify.
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/AdvisoryLock.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/tools/pdx/PdxRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

using test::Pdx;

std::string CopyFamily(const std::string& relative, const test::TempDir& dir) {
    const fs::path src = fs::path(TABLORA_SAMPLES_DIR) / relative;
    for (const auto& e : fs::directory_iterator(src.parent_path()))
        if (e.path().stem() == src.stem()) fs::copy_file(e.path(), fs::path(dir.Path()) / e.path().filename());
    return (fs::path(dir.Path()) / src.filename()).string();
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PdxProbe, PassesOnAHealthyTableAndReportsALaggingCounter) {
    test::TempDir dir;
    const std::string table = CopyFamily("paradoxdriver/src/test/resources/db/CUSTOMER.DB", dir);
    const std::string x06 = Bytes(dir / "CUSTOMER.X06");
    auto r = Pdx({"probe", table});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "passes\n");
    EXPECT_EQ(Bytes(dir / "CUSTOMER.X06"), x06);
    // Rows 1..20 are stored; a counter of 3 hands out a taken key.
    std::fstream f(table, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0x49);
    f.write("\x03\x00\x00\x00", 4);
    f.close();
    r = Pdx({"probe", table, "--json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("\"result\": \"key violation\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Key violation"), std::string::npos) << r.out;
    EXPECT_EQ(Pdx({"probe", dir / "missing.db"}).code, 2);
}

// Only the engine's key violation is reported as one: a full disk when the counter is written,
// or the table held by another process, is an error (exit 2) with its reason, and the table
// stays as it was.
TEST(PdxProbe, AFailureThatIsNoKeyViolationIsAnError) {
    test::TempDir dir;
    const std::string table = CopyFamily("paradoxdriver/src/test/resources/db/CUSTOMER.DB", dir);
    const std::string before = Bytes(table);
    auto r = test::RunProgram(TABLORA_PDX, {"probe", table}, dir / "log",
                              {"TABLORA_FS_FAULT=ops=write;path=CUSTOMER.DB;nth=1;errno=ENOSPC"});
    EXPECT_EQ(r.Code, 2) << r.Output;
    EXPECT_EQ(r.Output.rfind("error\n", 0), 0u) << r.Output;
    EXPECT_NE(r.Output.find("No space left on device"), std::string::npos) << r.Output;
    EXPECT_EQ(Bytes(table), before);

    {
        const rtl::TAdvisoryLock held = engine::paradox::LockTableForWriting(table);
        r = test::RunProgram(TABLORA_PDX, {"probe", table, "--json"}, dir / "log", {"TABLORA_LOCK_WAIT_MS=0"});
    }
    EXPECT_EQ(r.Code, 2) << r.Output;
    EXPECT_NE(r.Output.find("\"result\": \"error\""), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("process " + std::to_string(::getpid())), std::string::npos) << r.Output;
    EXPECT_EQ(Bytes(table), before);
}

TEST(PdxRows, AppendThenDeleteByKeyRoundTrips) {
    test::TempDir dir;
    const std::string table = CopyFamily("paradoxdriver/src/test/resources/joins/C.DB", dir);
    const std::string before = Pdx({"dump", table}).out;
    auto r = Pdx({"append", table, "C=10", "A=-4", "B=77", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"key\": [\n    \"10\"\n  ]"), std::string::npos) << r.out;
    EXPECT_EQ(Pdx({"dump", table}).out, before + "10,-4,77\n");
    EXPECT_EQ(Pdx({"verify", table}).code, 0);  // its two secondary indexes were kept
    r = Pdx({"append", table, "C=10"});
    EXPECT_EQ(r.code, 1);  // key violation
    EXPECT_EQ(Pdx({"append", table, "C=ten"}).code, 2);
    EXPECT_EQ(Pdx({"append", table, "Nope=1"}).code, 2);
    r = Pdx({"delete", table, "--key", "10"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Pdx({"dump", table}).out, before);
    EXPECT_EQ(Pdx({"delete", table, "--key", "10"}).code, 1);
    EXPECT_EQ(Pdx({"delete", table, "--key", "1", "2"}).code, 2);  // one key field
}

TEST(PdxRows, AnIndexThatCannotBeKeptIsRefusedUnlessDroppingIsAsked) {
    test::TempDir dir;
    const std::string table = CopyFamily("paradoxdriver/src/test/resources/db/CUSTOMER.DB", dir);
    auto r = Pdx({"append", table, "City=Žilina"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("CUSTOMER.X06"), std::string::npos) << r.err;
    r = Pdx({"append", table, "City=Žilina", "--drop-indexes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("dropped index CUSTOMER.X06"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "CUSTOMER.X06"));
}

TEST(PdxAddIndex, AddsAPrimaryThenASecondaryIndex) {
    test::TempDir dir;
    const std::string mushrooms = CopyFamily("Rparadox/inst/extdata/mushrooms.db", dir);
    auto r = Pdx({"add-index", mushrooms, "ID"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "added primary index mushrooms.px\n");
    EXPECT_EQ(Pdx({"verify", mushrooms}).code, 0);
    // Text under the table's international sort order cannot be indexed exactly.
    r = Pdx({"add-index", mushrooms, "ScientificName"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("ANSIINTL"), std::string::npos) << r.err;

    const std::string customer = CopyFamily("paradoxdriver/src/test/resources/db/CUSTOMER.DB", dir);
    r = Pdx({"add-index", customer, "DateEntered", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"index\": \"CUSTOMER.X0A\""), std::string::npos) << r.out;
    EXPECT_EQ(Pdx({"verify", customer}).code, 0);
    EXPECT_EQ(Pdx({"add-index", customer, "DateEntered"}).code, 2);  // exists already
}

TEST(PdxVerify, SaysWhatItCouldNotCheck) {
    test::TempDir dir;
    const std::string table = CopyFamily("paradoxdriver/src/test/resources/db/SERVER.DB", dir);
    dir.WriteFile("PDOXUSRS.LCK", "");
    const auto r = Pdx({"verify", table});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("note: key order not checked"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ANSII850"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("note: Paradox lock file PDOXUSRS.LCK"), std::string::npos) << r.out;
}

} // namespace
