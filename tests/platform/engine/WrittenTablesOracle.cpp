// Tables the engine writes, read by pxlib: the same fields, record count and raw records in
// the same order, and the plain numeric values pxlib decodes correctly. Blob fields are
// compared through our own reader elsewhere (pxlib crashes attaching .mb files).
#include "WriterFixtures.h"
#include "paradox/SecondaryIndexes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

#include <cstring>

namespace {

using namespace test;

void ExpectPxlibAgrees(const std::string& path) {
    SCOPED_TRACE(path);
    const auto table = TParadoxTable::Open(path);
    const TTableHeader& h = table->Header();
    pxdoc_t* doc = PX_new();
    ASSERT_GE(PX_open_file(doc, path.c_str()), 0) << "pxlib cannot open it";
    EXPECT_EQ(PX_get_num_fields(doc), static_cast<int>(h.Fields.size()));
    EXPECT_EQ(PX_get_num_records(doc), static_cast<int>(h.RecordCount));
    pxfield_t* pf = PX_get_fields(doc);
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        EXPECT_EQ(std::string(pf[i].px_fname), h.Fields[i].Name);
        EXPECT_EQ(static_cast<std::uint8_t>(pf[i].px_ftype), h.Fields[i].TypeCode);
    }
    std::vector<char> buf(h.RecordSize);
    int r = 0;
    TProblemList problems;
    table->ForEachRecord(
        [&](const TRecordRef& ref) {
            EXPECT_NE(PX_get_record(doc, r, buf.data()), nullptr) << "record " << r;
            EXPECT_EQ(0, std::memcmp(buf.data(), ref.Bytes, buf.size())) << "record " << r;
            for (const auto& f : h.Fields) {
                char* data = buf.data() + f.Offset;
                // Blank values: pxlib reports a number for them (a known defect); ours is none.
                if (f.TypeCode == ftLong || f.TypeCode == ftAutoInc) {
                    long v = 0;
                    const auto ours = DecodeFlippedInt(ref.Bytes + f.Offset, 4);
                    if (ours && PX_get_data_long(doc, data, f.Size, &v) > 0) {
                        EXPECT_EQ(v, *ours) << "record " << r << " " << f.Name;
                    }
                } else if (f.TypeCode == ftShort) {
                    short v = 0;
                    const auto ours = DecodeFlippedInt(ref.Bytes + f.Offset, 2);
                    if (ours && PX_get_data_short(doc, data, f.Size, &v) > 0) {
                        EXPECT_EQ(v, *ours) << "record " << r << " " << f.Name;
                    }
                } else if (f.TypeCode == ftNumber) {
                    double v = 0;
                    const auto ours = DecodeFlippedDouble(ref.Bytes + f.Offset);
                    // pxlib misreads negative doubles; positive ones must agree.
                    if (ours && *ours >= 0 && PX_get_data_double(doc, data, f.Size, &v) > 0) {
                        EXPECT_EQ(v, *ours) << "record " << r << " " << f.Name;
                    }
                }
            }
            ++r;
            return true;
        },
        problems);
    EXPECT_EQ(r, static_cast<int>(h.RecordCount));
    PX_close(doc);
    PX_delete(doc);
}

// pxlib reads a secondary index's data file as a table: the same records in the same order.
void ExpectPxlibReadsIndex(const std::string& xPath) {
    SCOPED_TRACE(xPath);
    const auto file = TRandomAccessFile::Open(xPath);
    TProblemList problems;
    const TTableHeader x = ReadTableHeader(*file, problems);
    pxdoc_t* doc = PX_new();
    ASSERT_GE(PX_open_file(doc, xPath.c_str()), 0) << "pxlib cannot open it";
    EXPECT_EQ(PX_get_num_records(doc), static_cast<int>(x.RecordCount));
    EXPECT_EQ(PX_get_num_fields(doc), static_cast<int>(x.Fields.size()));
    std::vector<char> buf(x.RecordSize);
    int r = 0;
    TBlockChainCursor cursor(*file, x, problems);
    while (cursor.Next())
        for (int i = 0; i < cursor.Block().RecordCount; ++i, ++r) {
            ASSERT_NE(PX_get_record(doc, r, buf.data()), nullptr) << "entry " << r;
            EXPECT_EQ(0, std::memcmp(buf.data(), cursor.Block().Record(i, x.RecordSize), buf.size())) << "entry " << r;
        }
    EXPECT_EQ(r, static_cast<int>(x.RecordCount));
    EXPECT_TRUE(problems.empty());
    PX_close(doc);
    PX_delete(doc);
}

TEST(WrittenTablesOracle, PxlibReadsSecondaryIndexesTheEngineKeeps) {
    TempDir dir;
    TTableLayout layout;
    layout.Fields = {{"IDXFIELD", ftAutoInc, 4}, {"Phone", ftAlpha, 15}, {"Seconds", ftLong, 4}};
    layout.KeyFieldCount = 1;
    const std::string path = dir / "Hovory.db";
    MakeTable(path, layout, 20000, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 1) return "0905" + std::to_string((i * 7919) % 100000);
        if (f == 2) return static_cast<std::int64_t>((i * 31) % 600);
        return std::monostate{};
    });
    CreateSecondaryIndex(path, {"Phone"}, "", dir.Path());
    CreateSecondaryIndex(path, {"Seconds", "IDXFIELD"}, "bySeconds", dir.Path());
    engine::TTable t;
    t.TableName = path;
    t.Open();
    t.Append();
    t.SetFieldByName("Phone", std::string("0000"));
    t.Post();
    t.Close();
    ExpectPxlibAgrees(path);
    ExpectPxlibReadsIndex(dir / "Hovory.x02");
    ExpectPxlibReadsIndex(dir / "Hovory.xg0");
}

TEST(WrittenTablesOracle, PxlibReadsWhatTheEngineWrites) {
    TempDir dir;
    for (const int keyed : {0, 1}) {
        for (const int count : {0, 1, 14, 3000}) {
            const std::string path = dir / ("All" + std::to_string(keyed) + "_" + std::to_string(count) + ".db");
            MakeTable(path, AllTypesLayout(keyed), static_cast<std::uint64_t>(count));
            ExpectPxlibAgrees(path);
        }
    }
    TTableLayout big;
    big.Fields = {{"Key", ftLong, 4}, {"Name", ftAlpha, 40}, {"Value", ftNumber, 8}};
    big.KeyFieldCount = 1;
    const std::string path = dir / "Big.db";
    MakeTable(path, big, 200000, [](std::uint64_t i, int f) -> engine::TValue {
        if (f == 0) return static_cast<std::int64_t>(i);
        if (f == 1) return "Name " + std::to_string(i);
        return static_cast<double>(i) / 3;
    });
    ExpectPxlibAgrees(path);
}

} // namespace
