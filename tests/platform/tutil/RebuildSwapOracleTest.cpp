// A rebuild whose swap fails and goes on failing leaves the family as the disk has it until
// the next open of ours; the billing application reads it meanwhile, with no journal
// completed. Read by hand and by pxlib, it is the damaged table as it was or the rebuilt
// one, never rebuilt rows beside an old index.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/rtl/FaultInjection.h"
#include "tests/support/FaultPoints.h"
#include "tests/support/ForeignReader.h"

namespace {

using namespace test;

TEST(RebuildSwapSeenFromOutside, ASwapThatKeepsFailingLeavesTheOldTableOrTheNewOneWhole) {
    TempDir scratch;
    const std::string pristine = scratch / "pristine", work = scratch / "work";
    MakeBrokenCallsTable(pristine);
    const auto before = MemberBytes(pristine, "Calls");
    const std::string path = work + "/Calls.db";

    CopyFlat(pristine, work);
    rtl::TFaultInjectingFileSystem counter;
    TLibraryRun clean;
    ASSERT_EQ(RunUnder(counter, rtl::TFault{}, [&] {
                  clean = RunLibraryRebuild(path);
                  return clean.ErrorText;
              }),
              "");
    const auto after = MemberBytes(work, "Calls");
    ASSERT_NE(after.at("Calls.db"), before.at("Calls.db"));

    int oldSeen = 0, newSeen = 0;
    for (std::uint64_t point = 1; point <= counter.Counted(); ++point) {
        CopyFlat(pristine, work);
        rtl::TFaultInjectingFileSystem fs;
        TLibraryRun run;
        RunUnder(fs, rtl::TFault{0, point, EIO, false, {}, true}, [&] {
            run = RunLibraryRebuild(path);
            return run.ErrorText;
        });
        SCOPED_TRACE("every change from point " + std::to_string(point) + " on fails (" + fs.StruckAt() + ")");
        // The old rows point into the old memo file. (This table's memo file comes out of the
        // rebuild byte for byte as it went in, so only a reordered swap shows here.)
        const bool isNew = ExpectOldOrNewFamily(work, "Calls", before, after, {"Calls.mb"});
        (isNew ? newSeen : oldSeen)++;
        if (!isNew) {
            EXPECT_NE(run.Code, tutil::TUERR_NONE) << "the rebuild was reported done";
        }
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(oldSeen, 0);
    EXPECT_GT(newSeen, 0);
}

} // namespace
