// The key-violation probe: a healthy table passes with only its counter moved; a lagging
// counter is a key violation; any other failure is a failure of the table, never a key
// violation; and the table is closed (its lock free) however the probe ended.
#include "WriterFixtures.h"
#include "platform/engine/KeyProbe.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

using namespace test;
using engine::TKeyProbe;

std::string MakeCalls(const TempDir& dir, std::uint32_t counter = 0) {
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Number", ftAlpha, 20}};
    layout.KeyFieldCount = 1;
    const std::string path = dir / "Hovory.db";
    MakeTable(path, layout, 50, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 1) return "0905" + std::to_string(i);
        return std::monostate{};
    });
    if (counter) StoreAutoIncrement(path, 50, counter);
    return path;
}

TEST(KeyProbe, AHealthyTablePassesWithOnlyItsCounterMovedALaggingOneIsAKeyViolation) {
    TempDir dir;
    const std::string path = MakeCalls(dir);
    const auto rows = ReadRows(path);
    engine::TTable table;
    table.TableName = path;
    const TKeyProbe passed = engine::ProbeBlankRow(table);
    EXPECT_EQ(passed.Result, TKeyProbe::TResult::Passes) << passed.Reason;
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(ReadRows(path), rows);
    EXPECT_EQ(TParadoxTable::Open(path)->Header().AutoIncrement, 51u);

    StoreAutoIncrement(path, 51, 7);
    const TKeyProbe violated = engine::ProbeBlankRow(table);
    EXPECT_EQ(violated.Result, TKeyProbe::TResult::KeyViolation);
    EXPECT_NE(violated.Reason.find("Key violation"), std::string::npos) << violated.Reason;
    // Closed after the failed post too: nothing pending, nobody kept out.
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(ReadRows(path), rows);
}

// A full disk or an I/O error where the probe writes the moved counter says nothing about the
// keys: the probe fails, naming why, and the table is closed.
TEST(KeyProbe, AFailureOfTheDiskIsNoKeyViolation) {
    for (const int error : {ENOSPC, EIO}) {
        SCOPED_TRACE(std::strerror(error));
        TempDir dir;
        const std::string path = MakeCalls(dir);
        engine::TTable table;
        table.TableName = path;
        rtl::TFaultInjectingFileSystem faults;
        TKeyProbe probe;
        {
            rtl::TScopedFileSystem scope(faults);
            faults.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Write), 1, error, false, "Hovory.db"});
            probe = engine::ProbeBlankRow(table);
        }
        EXPECT_TRUE(faults.Struck());
        EXPECT_EQ(probe.Result, TKeyProbe::TResult::Failed);
        EXPECT_NE(probe.Reason.find(std::strerror(error)), std::string::npos) << probe.Reason;
        EXPECT_FALSE(table.Active());
    }
}

// A header whose sizes misread the blocks (or whose fields do not fill the records) is no
// table to append to: the probe would say nothing of the stored keys. It is the table's
// error, and not a byte of the table changes.
TEST(KeyProbe, ADamagedHeaderIsAnErrorOfTheTableThatKeepsEveryByte) {
    // Header size, record size, the size of the text field.
    for (const std::size_t at : {0x03, 0x00, 0x78 + 3}) {
        SCOPED_TRACE(at);
        TempDir dir;
        const std::string path = MakeCalls(dir);
        ASSERT_GE(TParadoxTable::Open(path)->Header().Version, 5);
        std::string bytes = FileBytes(path);
        ++bytes[at];
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        engine::TTable table;
        table.TableName = path;
        const TKeyProbe probe = engine::ProbeBlankRow(table);
        EXPECT_EQ(probe.Result, TKeyProbe::TResult::Failed);
        EXPECT_NE(probe.Reason.find("the header of table \"Hovory.db\" is damaged"), std::string::npos) << probe.Reason;
        EXPECT_FALSE(table.Active());
        EXPECT_TRUE(FileBytes(path) == bytes) << "the table changed";
    }
}

} // namespace
