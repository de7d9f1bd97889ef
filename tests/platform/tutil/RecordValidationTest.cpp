// The check that tells a recovered record from garbage: values each type can hold pass,
// bytes no value of the type has are named with their field.
#include "platform/tutil/RecordValidation.h"

#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using namespace engine::paradox;

TTableHeader Layout() {
    TTableHeader h;
    const std::pair<std::uint8_t, int> fields[] = {{ftAlpha, 6}, {ftDate, 4},   {ftTime, 4},  {ftTimestamp, 8},
                                                   {ftNumber, 8}, {ftLogical, 1}, {ftLong, 4}, {ftBytes, 3}};
    int offset = 0;
    for (const auto& [type, size] : fields) {
        TFieldInfo f;
        f.Name = "F" + std::to_string(h.Fields.size());
        f.TypeCode = type;
        f.Size = size;
        f.SizeByte = static_cast<std::uint8_t>(size);
        f.Offset = offset;
        offset += size;
        h.Fields.push_back(f);
    }
    h.RecordSize = static_cast<std::uint16_t>(offset);
    return h;
}

class RecordChecker : public ::testing::Test {
protected:
    TTableHeader h_ = Layout();
    tutil::TRecordChecker checker_{h_};
    std::vector<std::uint8_t> record_ = std::vector<std::uint8_t>(h_.RecordSize, 0);
    std::uint8_t* At(int field) { return record_.data() + h_.Fields[static_cast<std::size_t>(field)].Offset; }
    int FaultyField() {
        const auto fault = checker_.Check(record_.data());
        return fault ? fault->Field : -1;
    }
};

TEST_F(RecordChecker, BlankAndOrdinaryValuesPass) {
    EXPECT_EQ(FaultyField(), -1) << "a blank row is a row";
    std::memcpy(At(0), "Nitra", 5);
    EncodeFlippedInt(1, At(1), 4);          // 0001-01-01
    EncodeFlippedInt(86400000, At(2), 4);   // midnight at the end of the day
    EncodeFlippedDouble(63716202001000.0, At(3));
    EncodeFlippedDouble(-1.5, At(4));
    At(5)[0] = 0x81;
    EncodeFlippedInt(-2147483647, At(6), 4);
    std::memset(At(7), 0xFF, 3);
    EXPECT_EQ(FaultyField(), -1);
    std::memcpy(At(0), "Nitra!", 6);  // text filling the whole field has no end marker
    EncodeFlippedInt(3652059, At(1), 4);  // 9999-12-31
    EXPECT_EQ(FaultyField(), -1);
}

TEST_F(RecordChecker, ImpossibleBytesAreNamedWithTheirField) {
    std::memcpy(At(0), "ab\0cd", 5);
    EXPECT_EQ(FaultyField(), 0);
    std::memset(At(0), 0, 6);
    EncodeFlippedInt(3652060, At(1), 4);
    EXPECT_EQ(FaultyField(), 1);
    std::memset(At(1), 0, 4);
    EncodeFlippedInt(86400001, At(2), 4);
    EXPECT_EQ(FaultyField(), 2);
    std::memset(At(2), 0, 4);
    EncodeFlippedDouble(1e300, At(3));
    EXPECT_EQ(FaultyField(), 3);
    std::memset(At(3), 0, 8);
    EncodeFlippedDouble(std::numeric_limits<double>::quiet_NaN(), At(4));
    EXPECT_EQ(FaultyField(), 4);
    std::memset(At(4), 0xFF, 8);  // an overwritten number: not a number either
    EXPECT_EQ(FaultyField(), 4);
    std::memset(At(4), 0, 8);
    At(5)[0] = 0x41;
    const auto fault = checker_.Check(record_.data());
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->Field, 5);
    EXPECT_EQ(fault->Reason, "logická hodnota nie je áno, nie ani prázdna");
}

// Dates and timestamps pass from 1 January 9999 BC to the last moment of 31 December 9999,
// and not a day or a millisecond beyond; dates before year 1 are dates (real tables hold them).
TEST_F(RecordChecker, CalendarBoundsAreExact) {
    const std::int64_t first = DayNumberFromCivil(-9998, 1, 1), last = DayNumberFromCivil(9999, 12, 31);
    struct {
        std::int64_t day;
        bool ok;
    } const dates[] = {{first, true}, {first - 1, false}, {last, true}, {last + 1, false},
                       {-366, true},  {0, true},          {1, true}};
    for (const auto& d : dates) {
        EncodeFlippedInt(d.day, At(1), 4);
        EXPECT_EQ(FaultyField(), d.ok ? -1 : 1) << FormatDate(d.day);
    }
    std::memset(At(1), 0, 4);
    const double day = 86400000.0;
    struct {
        double ms;
        bool ok;
    } const stamps[] = {{static_cast<double>(first) * day, true},
                        {static_cast<double>(first) * day - 1, false},
                        {static_cast<double>(last + 1) * day - 1, true},
                        {static_cast<double>(last + 1) * day, false},
                        {-31618800000.0, true}};
    for (const auto& t : stamps) {
        EncodeFlippedDouble(t.ms, At(3));
        EXPECT_EQ(FaultyField(), t.ok ? -1 : 3) << FormatTimestamp(t.ms);
    }
    std::memset(At(3), 0, 8);
    for (const auto& [ms, ok] : {std::pair{0LL, true}, {86400000LL, true}, {86400001LL, false}, {-1LL, false}}) {
        EncodeFlippedInt(ms, At(2), 4);
        EXPECT_EQ(FaultyField(), ok ? -1 : 2) << ms;
    }
}

} // namespace
