// Value encodings, code pages, header variants and table lookup by name.
#include "platform/engine/EngineErrors.h"
#include "paradox/CodePages.h"
#include "paradox/FieldTypes.h"
#include "paradox/FieldValue.h"
#include "paradox/KeyOrder.h"
#include "paradox/TableDefinitionReader.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFiles.h"
#include "tests/platform/engine/TinyTable.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace engine::paradox;

const std::uint8_t* U(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(FieldValues, FlippedIntegersAndBlanks) {
    EXPECT_EQ(*DecodeFlippedInt(U(std::string("\x80\x01", 2)), 2), 1);
    EXPECT_EQ(*DecodeFlippedInt(U(std::string("\x7F\xFF", 2)), 2), -1);
    EXPECT_EQ(*DecodeFlippedInt(U(std::string("\x80\x00", 2)), 2), 0);
    EXPECT_FALSE(DecodeFlippedInt(U(std::string("\x00\x00", 2)), 2));
    EXPECT_EQ(*DecodeFlippedInt(U(test::FlippedLong(-2147483647)), 4), -2147483647);
    EXPECT_EQ(*DecodeFlippedInt(U(test::FlippedLong(123456)), 4), 123456);
}

TEST(FieldValues, DoublesIncludingNegativesAndEightByteBlank) {
    for (double d : {0.0, 1.5, -1.387, -200.0, 1e20, -1e-300})
        EXPECT_EQ(*DecodeFlippedDouble(U(test::FlippedDouble(d))), d);
    EXPECT_FALSE(DecodeFlippedDouble(U(std::string(8, '\0'))));
    // Only the first four bytes zero is not blank (a reader testing four bytes gets it wrong).
    EXPECT_TRUE(DecodeFlippedDouble(U(std::string("\0\0\0\0\0\0\0\x01", 8))));
    EXPECT_EQ(FormatDouble(0.1), "0.1");
    EXPECT_EQ(FormatDouble(40), "40");
    EXPECT_EQ(FormatDouble(1e20), "1e+20");
}

TEST(FieldValues, BcdPositiveNegativeBlankAndInvalidNibbles) {
    std::string v(17, '\0');
    v[0] = static_cast<char>(0xC2);
    v[16] = 0x23;
    v[15] = 0x01;
    EXPECT_EQ(*DecodeBcd(U(v), 2), "1.23");
    std::string n(17, static_cast<char>(0xFF));
    n[0] = 0x42;
    n[15] = static_cast<char>(0xFE);
    n[16] = static_cast<char>(0xDC);
    EXPECT_EQ(*DecodeBcd(U(n), 2), "-1.23");
    std::string blank(17, '\0');
    blank[0] = 0x06;  // bit 6 clear, as one real file holds
    EXPECT_FALSE(DecodeBcd(U(blank), 2));
    std::string bad(17, static_cast<char>(0x9A));
    bad[0] = static_cast<char>(0xC0);
    EXPECT_EQ(*DecodeBcd(U(bad), 0), "90909090909090909090909090909090");  // A..F read as 0
    std::string zero(17, '\0');
    zero[0] = static_cast<char>(0xC2);
    EXPECT_EQ(*DecodeBcd(U(zero), 2), "0.00");
}

TEST(FieldValues, DatesTimesTimestamps) {
    EXPECT_EQ(FormatDate(1), "0001-01-01");
    EXPECT_EQ(FormatDate(719163), "1970-01-01");
    EXPECT_EQ(FormatDate(736695), "2018-01-01");
    EXPECT_EQ(FormatDate(0), "0000-12-31");
    EXPECT_EQ(FormatDate(-366), "-0001-12-31");
    EXPECT_EQ(DayNumberFromCivil(2018, 1, 1), 736695);
    for (std::int64_t d : {-800000, -1, 0, 1, 59, 60, 61, 719163, 3000000})
        EXPECT_EQ(DayNumberFromCivil(CivilFromDayNumber(d).Year, CivilFromDayNumber(d).Month, CivilFromDayNumber(d).Day), d);
    EXPECT_EQ(FormatTime(40271000), "11:11:11");
    EXPECT_EQ(FormatTime(40271005), "11:11:11.005");
    EXPECT_EQ(FormatTimestamp(63716202001000.0), "2020-02-01 01:00:01");
    EXPECT_EQ(FormatTimestamp(63190926671000.0), "2003-06-10 11:11:11");
    EXPECT_NO_THROW(FormatTimestamp(1e300));
}

TEST(CodePages, OwnTablesConvertUpperHalves) {
    EXPECT_EQ(ToUtf8("\x84", 437), "ä");
    EXPECT_EQ(ToUtf8("\x9F", 852), "č");
    EXPECT_EQ(ToUtf8("\x80", 866), "А");
    EXPECT_EQ(ToUtf8("\x9A\xE8", 1250), "šč");
    EXPECT_EQ(ToUtf8("\xE4\x80", 1252), "ä€");
    EXPECT_EQ(ToUtf8("\x81", 1252), "\xC2\x81");  // undefined byte kept, not dropped
    EXPECT_EQ(ToUtf8("\xA0", 850), "á");
    EXPECT_EQ(ToUtf8("abc", 0), "abc");
    for (int cp : {437, 850, 852, 866, 1250, 1252}) EXPECT_TRUE(HasOwnCodePageTable(cp));
    // Double-byte and unknown code pages: some text comes out for every byte.
    EXPECT_FALSE(ToUtf8("\xC4\xE3", 936).empty());
    EXPECT_FALSE(ToUtf8("\xFF\xFE", 12345).empty());
}

// Hebrew and Vietnamese conversion holds the last letter back for a combining mark that may
// follow; a field's last letter must still come out.
TEST(CodePages, CombiningCodePagesKeepTheLastLetter) {
    EXPECT_EQ(ToUtf8("\xE0\xE1", 1255), "\u05D0\u05D1");
    EXPECT_EQ(ToUtf8("Nam", 1258), "Nam");
}

test::TinyTable SmallTable(std::uint8_t version) {
    test::TinyTable t;
    t.version = version;
    t.keyed = true;
    t.keyFields = 1;
    t.fields = {{"Id", ftLong, 4, 4}, {"Name", ftAlpha, 10, 10}, {"Amount", ftNumber, 8, 8}};
    for (int i = 1; i <= 100; ++i)
        t.records.push_back(test::FlippedLong(i) + test::Alpha("n" + std::to_string(i), 10) +
                            test::FlippedDouble(i * -1.5));
    return t;
}

TEST(TableHeader, V3AndV7HeadersReadAlike) {
    test::TempDir dir;
    for (std::uint8_t version : {std::uint8_t{3}, std::uint8_t{12}}) {
        SCOPED_TRACE(int(version));
        const std::string path = dir.WriteFile("t" + std::to_string(version) + ".db", SmallTable(version).Build());
        const auto table = TParadoxTable::Open(path);
        const auto& h = table->Header();
        EXPECT_EQ(h.Version, version);
        ASSERT_EQ(h.Fields.size(), 3u);
        EXPECT_EQ(h.Fields[1].Name, "Name");
        EXPECT_EQ(h.Fields[2].Offset, 14);
        EXPECT_EQ(h.RecordCount, 100u);
        const auto report = CheckTable(*table);
        EXPECT_EQ(report.RecordsFound, 100u);
        for (const auto& p : report.Problems) EXPECT_EQ(p.Kind, TProblemKind::PrimaryIndex) << p.Describe();
    }
}

TEST(TableHeader, LargestBlocksRead) {
    test::TempDir dir;
    test::TinyTable t = SmallTable(12);
    t.blockKiB = 32;
    for (int i = 101; i <= 3000; ++i)
        t.records.push_back(test::FlippedLong(i) + test::Alpha("n", 10) + test::FlippedDouble(i));
    const auto table = TParadoxTable::Open(dir.WriteFile("big.db", t.Build()));
    EXPECT_EQ(table->Header().BlockSize, 32768u);
    const auto report = CheckTable(*table);
    EXPECT_EQ(report.RecordsFound, 3000u);
    EXPECT_EQ(report.Chain.size(), 3u);  // 1489 records of 22 bytes fit in a 32 KiB block
}

TEST(TableHeader, UnusableHeadersRaiseReadableErrors) {
    test::TempDir dir;
    std::string good = SmallTable(12).Build();
    auto expectError = [&](std::string bytes, engine::TEngineErrorKind kind) {
        const std::string path = dir.WriteFile("bad.db", bytes);
        try {
            TParadoxTable::Open(path);
            ADD_FAILURE() << "no error";
        } catch (const engine::EDBEngineError& e) {
            EXPECT_EQ(e.Kind(), kind);
            EXPECT_NE(e.Message().find("bad.db"), std::string::npos) << e.Message();
        }
    };
    expectError("", engine::TEngineErrorKind::NotATable);
    expectError(good.substr(0, 40), engine::TEngineErrorKind::NotATable);
    expectError(good.substr(0, 0x60), engine::TEngineErrorKind::Corrupt);  // v7 extension cut off
    expectError(good.substr(0, 0x7A), engine::TEngineErrorKind::Corrupt);  // field list cut off
    {
        // Names cut off: the layout is still known, so the table opens with placeholders.
        const auto t = TParadoxTable::Open(dir.WriteFile("names.db", good.substr(0, 0x80)));
        EXPECT_EQ(t->Header().Fields[2].Name, "Field3");
        EXPECT_FALSE(t->OpenProblems().empty());
    }
    std::string s = good;
    s[0x05] = 0;  // block size 0
    expectError(s, engine::TEngineErrorKind::Corrupt);
    s = good;
    s[0x21] = 0;  // no fields
    s[0x22] = 0;
    expectError(s, engine::TEngineErrorKind::Corrupt);
    s = good;
    s[0x39] = 99;
    expectError(s, engine::TEngineErrorKind::NotATable);
    EXPECT_THROW(TParadoxTable::Open(dir / "missing.db"), engine::EDBEngineError);
}

// A file's full name as the engine makes it: the folder, the platform's separator, the name.
std::string InFolder(const test::TempDir& dir, const std::string& name) {
    return rtl::WithTrailingSeparator(dir.Path()) + name;
}

TEST(TableFiles, FoundByNameWithOrWithoutExtensionIgnoringCase) {
    test::TempDir dir;
    dir.WriteFile("Hovory.DB", SmallTable(12).Build());
    dir.WriteFile("hovory.Mb", "");
    dir.WriteFile("HOVORY.PX", "");
    dir.WriteFile("Hovory.X02", "");
    dir.WriteFile("Hovory.Y02", "");
    dir.WriteFile("Hovory.XG0", "");
    dir.WriteFile("Hovory.XYZ", "");
    dir.WriteFile("Hovory2.X03", "");
    const std::string db = FindDataFile(dir.Path(), "HOVORY");
    EXPECT_EQ(db, InFolder(dir, "Hovory.DB"));
    EXPECT_EQ(FindDataFile(dir.Path(), "hovory.db"), db);
    EXPECT_EQ(FindDataFile(dir.Path(), "Hovory.px"), "");
    EXPECT_EQ(FindDataFile(dir.Path(), "Hov*"), "");
    EXPECT_EQ(FindCompanionFile(db, ".mb"), InFolder(dir, "hovory.Mb"));
    EXPECT_EQ(FindCompanionFile(db, ".px"), InFolder(dir, "HOVORY.PX"));
    const auto secondaries = FindSecondaryIndexes(db);
    ASSERT_EQ(secondaries.size(), 2u);
    EXPECT_EQ(secondaries[0].DataPath, InFolder(dir, "Hovory.X02"));
    EXPECT_EQ(secondaries[0].TreePath, InFolder(dir, "Hovory.Y02"));
    EXPECT_EQ(secondaries[1].TreePath, "");
    EXPECT_NO_THROW(OpenTableByName(dir.Path(), "hOvOrY"));
    EXPECT_THROW(OpenTableByName(dir.Path(), "Other"), engine::EDBEngineError);
}

TEST(KeyOrder, TextComparesByBytesOnlyUnderAsciiSortOrder) {
    TTableHeader h;
    h.KeyFieldCount = 2;
    h.Fields = {{"Id", ftLong, 4, 4, 0}, {"Name", ftAlpha, 4, 4, 4}};
    const std::string a = test::FlippedLong(1) + "bbbb", b = test::FlippedLong(1) + "CCCC";
    const std::string c = test::FlippedLong(2) + "AAAA";
    EXPECT_EQ(CompareKeys(a, b, h), TKeyOrder::Greater);  // ascii: 'b' after 'C'
    EXPECT_EQ(CompareKeys(a, c, h), TKeyOrder::Less);
    EXPECT_EQ(CompareKeys(a, a, h), TKeyOrder::Equal);
    h.SortOrderCode = 0x62;
    h.SortOrderName = "ANSIINTL";
    EXPECT_EQ(CompareKeys(a, b, h), TKeyOrder::Unknown);  // collation not modelled: no verdict
    EXPECT_EQ(CompareKeys(c, a, h), TKeyOrder::Greater);  // the numeric part still decides
    EXPECT_EQ(CompareKeys(a, a, h), TKeyOrder::Equal);
}

TEST(TableDefinitionReader, FieldsIndexesAndCountAsEngineObjectsSeeThem) {
    const std::string db = std::string(TABLORA_SAMPLES_DIR) + "/paradoxdriver/src/test/resources/db/CUSTOMER.DB";
    engine::TFieldDefs fields;
    ReadFieldDefs(db, "CUSTOMER", fields);
    ASSERT_EQ(fields.Count(), 10u);
    EXPECT_EQ(fields[0].DataType, engine::TFieldType::AutoInc);
    EXPECT_EQ(fields[1].Size, 51);
    EXPECT_EQ(fields[9].Size, 0);
    engine::TIndexDefs indexes;
    ReadIndexDefs(db, "CUSTOMER", indexes);
    ASSERT_EQ(indexes.Count(), 2u);
    EXPECT_TRUE(indexes[0].IsPrimary());
    EXPECT_EQ(indexes[0].Fields, "CustNo");
    EXPECT_EQ(ReadableRecordCount(db, "CUSTOMER"), 20);
    try {
        ReadFieldDefs("", "Hovory", fields);
        ADD_FAILURE();
    } catch (const engine::EDBEngineError& e) {
        EXPECT_EQ(e.Kind(), engine::TEngineErrorKind::NotFound);
        EXPECT_NE(e.Message().find("Hovory"), std::string::npos);
    }
    const std::string enc = std::string(TABLORA_SAMPLES_DIR) + "/paradoxdriver/src/test/resources/encrypt/encrypted.db";
    EXPECT_THROW(ReadableRecordCount(enc, "encrypted"), engine::EDBEngineError);
}

} // namespace
