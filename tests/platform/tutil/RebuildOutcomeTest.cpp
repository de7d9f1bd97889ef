// The rebuild's own answer, before the library turns it into a result code: whether the
// table was replaced, and when not, whether the rebuild declined or failed, and why.
#include "RebuildFixtures.h"

#include "platform/tutil/TableRebuild.h"

namespace {

using namespace test;
using tutil::TRebuildOutcome;
using TKind = tutil::TRebuildOutcome::TKind;

// The descriptor of the table at `path` as the library fills it, with the arrays it points to.
struct TDescribed {
    tutil::CRTblDesc Desc{};
    tutil::TDescriptorArrays Arrays;
};

void Describe(const std::string& path, TDescribed& d) {
    using namespace tutil;
    hTUses h = 0;
    ASSERT_EQ(TUInit(&h), TUERR_NONE);
    std::uint16_t counts[7] = {};
    ASSERT_EQ(TUGetCRTblDescCount(h, path.c_str(), &counts[0], &counts[1], &counts[2], &counts[3], &counts[4],
                                  &counts[5], &counts[6]),
              TUERR_NONE);
    d.Arrays.Allocate(counts, d.Desc);
    ASSERT_EQ(TUFillCRTblDesc(h, &d.Desc, path.c_str(), ""), TUERR_NONE);
    ASSERT_EQ(TUExit(h), TUERR_NONE);
}

TRebuildOutcome Rebuild(const std::string& path, const tutil::CRTblDesc* desc, tutil::TRebuildReport& report) {
    tutil::TRebuildRequest request;
    request.TableName = path;
    request.Descriptor = desc;
    return tutil::RebuildTable(request, report);
}

std::vector<std::string> Keys(int rows) {
    std::vector<std::string> keys;
    for (int i = 0; i < rows; ++i) keys.push_back("Kluc " + std::to_string(1000 + i));
    return keys;
}

TEST(RebuildOutcome, ATableReplacedWholeOrWithRowsTheHeaderCountsMissing) {
    TempDir dir;
    const std::string path = MakeTextKeyed(dir.Path() + "/Mesta.db", Keys(40), 0x00, "ascii");
    TDescribed d;
    Describe(path, d);
    {
        tutil::TRebuildReport report;
        const TRebuildOutcome outcome = Rebuild(path, &d.Desc, report);
        EXPECT_EQ(outcome.Kind, TKind::Rebuilt) << outcome.Reason;
        EXPECT_TRUE(outcome.Replaced());
        EXPECT_EQ(outcome.Code, tutil::TUERR_NONE);
        EXPECT_EQ(report.RowsKept, 40u);
    }
    // The header counts three rows more than the table holds: rebuilt, but not whole.
    PatchFile(path, 0x06, Le32(43));
    tutil::TRebuildReport report;
    const TRebuildOutcome outcome = Rebuild(path, &d.Desc, report);
    EXPECT_EQ(outcome.Kind, TKind::RebuiltRowsNotFound) << outcome.Reason;
    EXPECT_TRUE(outcome.Replaced());
    EXPECT_EQ(report.RowsNotFound, 3u);
    EXPECT_EQ(RowSet(path).size(), 40u);
}

TEST(RebuildOutcome, RefusalsLeaveTheTableAndSayWhy) {
    TempDir dir;
    const std::string path = MakeTextKeyed(dir.Path() + "/Mesta.db", Keys(5), 0x00, "ascii");
    const std::string other = MakeTextKeyed(dir.Path() + "/Ine.db", Keys(5), 0x00, "ascii");
    TDescribed d;
    Describe(path, d);
    const auto before = FamilyBytes(other);
    struct TCase {
        const char* Name;
        std::string Path;
        const tutil::CRTblDesc* Desc;
        tutil::TUResult Code;
    };
    d.Desc.pidxDesc[0].iFldsInKey = 2;  // a key the table does not have
    for (const TCase& c : {TCase{"no descriptor", path, nullptr, tutil::TUERR_INVALIDPARAM},
                           TCase{"no such table", dir.Path() + "/Nic.db", &d.Desc, tutil::TUERR_NOSUCHTABLE},
                           TCase{"another key", other, &d.Desc, tutil::TUERR_DESCMISMATCH}}) {
        SCOPED_TRACE(c.Name);
        tutil::TRebuildReport report;
        const TRebuildOutcome outcome = Rebuild(c.Path, c.Desc, report);
        EXPECT_EQ(outcome.Kind, TKind::Refused);
        EXPECT_FALSE(outcome.Replaced());
        EXPECT_EQ(outcome.Code, c.Code) << outcome.Reason;
        EXPECT_FALSE(outcome.Reason.empty());
    }
    EXPECT_EQ(FamilyBytes(other), before);
}

// A swap whose renames fail for good is no refusal: the journal puts the new table in place.
TEST(RebuildOutcome, ASwapThatCannotFinishIsAFailure) {
    TempDir dir;
    const std::string path = MakeTextKeyed(dir.Path() + "/Mesta.db", Keys(5), 0x00, "ascii");
    TDescribed d;
    Describe(path, d);
    rtl::TFaultInjectingFileSystem faults;
    rtl::TFault fault{rtl::OpBit(rtl::TFsOp::Rename), 1, EIO, false, ".px"};
    fault.Persistent = true;
    tutil::TRebuildReport report;
    TRebuildOutcome outcome;
    {
        rtl::TScopedFileSystem scope(faults);
        faults.Arm(fault);
        outcome = Rebuild(path, &d.Desc, report);
    }
    ASSERT_TRUE(faults.Struck());
    EXPECT_EQ(outcome.Kind, TKind::Failed);
    EXPECT_EQ(outcome.Code, tutil::TUERR_SWAP) << outcome.Reason;
    EXPECT_FALSE(outcome.Replaced());
}

} // namespace
