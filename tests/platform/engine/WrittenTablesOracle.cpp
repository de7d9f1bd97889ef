// Tables the engine writes, read by pxlib: the same fields, record count and raw records in
// the same order, and the plain numeric values pxlib decodes correctly. Blob fields are
// compared through our own reader elsewhere (pxlib crashes attaching .mb files).
#include "WriterFixtures.h"
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
                if (f.TypeCode == ftLong || f.TypeCode == ftAutoInc) {
                    long v = 0;
                    if (PX_get_data_long(doc, data, f.Size, &v) > 0) {
                        EXPECT_EQ(v, *DecodeFlippedInt(ref.Bytes + f.Offset, 4)) << "record " << r << " " << f.Name;
                    }
                } else if (f.TypeCode == ftShort) {
                    short v = 0;
                    if (PX_get_data_short(doc, data, f.Size, &v) > 0) {
                        EXPECT_EQ(v, *DecodeFlippedInt(ref.Bytes + f.Offset, 2)) << "record " << r << " " << f.Name;
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
