// Values and layouts at their limits, written and read back through the engine objects as a
// user's program does: integers whose lowest value would be stored as the blank pattern, and
// a record that fills its block to the last byte.
#include "WriterFixtures.h"
#include "platform/engine/EngineErrors.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace test;
using engine::EDBEngineError;
using engine::TEngineErrorKind;
using engine::TFieldType;
using engine::TTable;
using engine::TValue;

// Stores each value in its own row of a one-field table of `type` and reads the rows back;
// values the engine refuses come back as "refused".
std::vector<std::string> StoreAndReadBack(const TempDir& dir, TFieldType type, const std::vector<TValue>& values) {
    TTable t;
    t.TableName = dir / "Edges";
    t.FieldDefs.Add("V", type);
    t.CreateTable();
    t.Open();
    std::vector<std::string> refused;
    for (const TValue& v : values) {
        t.Append();
        try {
            t.SetFieldByName("V", v);
            t.Post();
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.Kind(), TEngineErrorKind::InvalidRequest);
            refused.push_back("refused");
            t.Cancel();
        }
    }
    t.Close();
    std::vector<std::string> out;
    for (const auto& row : ReadRows(t.DataFilePath())) out.push_back(row[0].empty() ? "blank" : row[0]);
    out.insert(out.end(), refused.begin(), refused.end());
    return out;
}

// The all-zero bytes mean blank, so the one value whose encoding they are cannot be stored.
TEST(IntegerEdges, TheLowestShortAndLongAreRefusedNotStoredAsBlank) {
    {
        TempDir dir;
        EXPECT_EQ(StoreAndReadBack(dir, TFieldType::Short,
                                   {TValue{std::int64_t{-32768}}, TValue{std::int64_t{-32767}}, TValue{std::int64_t{0}},
                                    TValue{std::int64_t{32767}}, TValue{std::monostate{}}, TValue{std::int64_t{32768}}}),
                  (std::vector<std::string>{"-32767", "0", "32767", "blank", "refused", "refused"}));
    }
    {
        TempDir dir;
        EXPECT_EQ(StoreAndReadBack(dir, TFieldType::Long,
                                   {TValue{std::int64_t{-2147483648LL}}, TValue{std::int64_t{-2147483647}},
                                    TValue{std::int64_t{0}}, TValue{std::monostate{}}, TValue{std::int64_t{2147483648LL}}}),
                  (std::vector<std::string>{"-2147483647", "0", "blank", "refused", "refused"}));
    }
}

// 8 alpha fields of 255 bytes and a short: 2042 bytes, one record to a 2 KiB block exactly.
TEST(LayoutEdges, ARecordThatFillsItsBlockExactly) {
    TempDir dir;
    TTable t;
    t.TableName = dir / "Wide";
    for (int i = 0; i < 8; ++i) t.FieldDefs.Add("A" + std::to_string(i), TFieldType::Alpha, 255);
    t.FieldDefs.Add("N", TFieldType::Short);
    t.CreateTable();
    const auto header = TParadoxTable::Open(t.DataFilePath())->Header();
    ASSERT_EQ(header.RecordSize + 6u, header.BlockSize);
    t.Open();
    for (std::int64_t n = 1; n <= 3; ++n) {
        t.Append();
        t.SetFieldByName("A7", std::string(255, static_cast<char>('a' + n)));
        t.SetFieldByName("N", n);
        t.Post();
    }
    t.Close();
    const auto rows = ReadRows(t.DataFilePath());
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][7], std::string(255, static_cast<char>('b' + i)));
        EXPECT_EQ(rows[i][8], std::to_string(i + 1));
    }
    EXPECT_EQ(TParadoxTable::Open(t.DataFilePath())->Header().BlocksInUse, 3);
    ExpectConsistent(t.DataFilePath());
}

} // namespace
