// The problem table as a person reads it: beside the raw bytes, each row names the values
// that could still be read, so the operator can tell which call or town it was.
#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/ParadoxWriters.h"

namespace {

using namespace test;

constexpr std::size_t TextField = 6;

// "Name=value; ..." from dump cells, leaving out blanks and the field `skip`.
std::string Joined(const TTableHeader& h, const std::vector<std::string>& cells, std::size_t skip) {
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i == skip || cells[i].empty()) continue;
        out += (out.empty() ? "" : "; ") + h.Fields[i].Name + "=" + cells[i];
    }
    return out;
}

TEST(ProblemRows, AnUnreadableRowShowsTheValuesThatCanBeRead) {
    TempDir dir;
    const std::string path = CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir.Path());
    const auto h = TParadoxTable::Open(path)->Header();
    const auto rows = ReadRows(path);
    ASSERT_EQ(h.Fields[2].Name, "Sale Date");
    // The third row of block 2 gets a sale date no writer stores.
    std::string date(4, '\0');
    EncodeFlippedInt(3652060, reinterpret_cast<std::uint8_t*>(date.data()), 4);
    const std::size_t row = static_cast<std::size_t>(h.Capacity()) + 2;
    PatchFile(path, h.BlockOffset(2) + 6 + 2u * h.RecordSize + static_cast<std::size_t>(h.Fields[2].Offset), date);
    const auto run = RunLibraryRebuild(path);
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    ASSERT_EQ(run.Report.RowsToProblems, 1u);
    const auto problems = ReadRows(run.Report.ProblemTable);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0][1], "Sale Date");
    const std::string text = Joined(h, rows[row], 2);
    EXPECT_EQ(problems[0][TextField], text);
    EXPECT_EQ(text.rfind("Order No=" + rows[row][0] + "; Customer No=" + rows[row][1] + "; Ship Date=", 0), 0u)
        << text;
}

TEST(ProblemRows, RowsNoLinkPlacesAreNamedByTheirValues) {
    TempDir dir;
    const std::string path = MakeTowns(dir / "Mesta.db", 300);
    const auto h = TParadoxTable::Open(path)->Header();
    const auto rows = ReadRows(path);
    PatchFile(path, h.BlockOffset(2), Le16(9999));
    PatchFile(path, h.BlockOffset(3) + 2, Le16(7));  // block 3 names a block before it that is not there
    const auto run = RunLibraryRebuild(path);
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    const auto problems = ReadRows(run.Report.ProblemTable);
    const auto perBlock = static_cast<std::size_t>(h.Capacity());
    ASSERT_EQ(problems.size(), rows.size() - 2 * perBlock);
    for (std::size_t i = 0; i < problems.size(); ++i)
        EXPECT_EQ(problems[i][TextField], "Name=" + rows[2 * perBlock + i][0] + "; N=" + rows[2 * perBlock + i][1]);
}

// The text is cut to the field's 255 characters, in the problem table's code page.
TEST(ProblemRows, LongTextIsCutToTheFieldInItsCodePage) {
    TempDir dir;
    std::string text;
    while (text.size() < 600) text += "Mesto=Žilina; ";
    const std::string bytes(8, '\x01');
    {
        tutil::TProblemTable table(dir / "PROBLEM.DB");
        tutil::TProblemRow row;
        row.Reason = "dôvod";
        row.Bytes = reinterpret_cast<const std::uint8_t*>(bytes.data());
        row.Size = bytes.size();
        row.Text = text;
        table.Add(row);
        table.Finish();
    }
    const auto rows = ReadRows(dir / "PROBLEM.DB");
    ASSERT_EQ(rows.size(), 1u);
    const std::string cut = FromUtf8(rows[0][TextField], 1250);
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut, FromUtf8(text, 1250).substr(0, 255));
    EXPECT_EQ(rows[0][0], "dôvod");
    EXPECT_EQ(TParadoxTable::Open(dir / "PROBLEM.DB")->Header().Fields[TextField].Name, "Text");
}

} // namespace
