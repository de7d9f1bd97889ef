// A rewrite that fails part way and goes on failing (a disk that stays full or read-only)
// leaves the family on the disk as it stands; the billing application reads it as it is,
// with no journal completed. Read by hand and by pxlib, it must be the old table or the new
// one, never new rows beside an old index.
#include "WriteOperations.h"
#include "WriterFixtures.h"
#include "paradox/SecondaryIndexes.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/FaultPoints.h"
#include "tests/support/ForeignReader.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace test;
namespace fs = std::filesystem;

void CopyFlatDirectory(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), fs::path(to) / e.path().filename());
}

TEST(FamilyChangeSeenFromOutside, ARewriteThatKeepsFailingLeavesTheOldTableOrTheNewOneWhole) {
    TempDir scratch;
    const std::string pristine = scratch / "pristine", work = scratch / "work";
    fs::create_directories(pristine);
    MakeTable(pristine + "/T.db", AllTypesLayout(1), 300);
    CreateSecondaryIndex(pristine + "/T.db", {"Small"}, "", scratch.Path());
    CreateSecondaryIndex(pristine + "/T.db", {"Born", "Price"}, "byBorn", scratch.Path());
    const auto before = MemberBytes(pristine, "T");
    ASSERT_EQ(before.size(), 7u);  // .db .mb .px and two secondary indexes of two files each

    CopyFlatDirectory(pristine, work);
    rtl::TFaultInjectingFileSystem counter;
    ASSERT_EQ(RunUnder(counter, rtl::TFault{}, [&] {
                  InsertRow(work);
                  return std::string();
              }),
              "");
    const auto after = MemberBytes(work, "T");
    ASSERT_NE(after.at("T.db"), before.at("T.db"));
    ASSERT_NE(after.at("T.px"), before.at("T.px"));

    int oldSeen = 0, newSeen = 0;
    for (std::uint64_t point = 1; point <= counter.Counted(); ++point) {
        CopyFlatDirectory(pristine, work);
        rtl::TFaultInjectingFileSystem fs;
        const std::string reported = RunUnder(fs, rtl::TFault{0, point, EIO, false, {}, true}, [&] {
            InsertRow(work);
            return std::string();
        });
        SCOPED_TRACE("every change from point " + std::to_string(point) + " on fails (" + fs.StruckAt() + ")");
        EXPECT_NE(reported, "") << "the write was reported done";
        (ExpectOldOrNewFamily(work, "T", before, after) ? newSeen : oldSeen)++;
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

} // namespace
