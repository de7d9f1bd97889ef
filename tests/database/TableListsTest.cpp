// The two table lists: every table, and those whose first field is an autoincrement
// "IDXFIELD"; unreadable tables reported one by one; the progress and pauses around them.
#include "tests/database/ModuleFixture.h"

#include <cstdint>

namespace {

using test::ReadAll;

// Gives the first field of a Paradox 4+ table another name. The field names follow the
// fixed table-name slot in the header; what follows them moves by the difference in
// length, into the header's zero padding, and the two header words that count or point
// past the names move with it.
void RenameFirstField(const std::string& path, const std::string& newName) {
    std::string bytes = ReadAll(path);
    auto u16 = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8); };
    auto put16 = [&](std::size_t at, std::size_t v) {
        bytes[at] = static_cast<char>(v & 0xFF);
        bytes[at + 1] = static_cast<char>(v >> 8);
    };
    const std::size_t headerSize = u16(0x02);
    const std::size_t fieldCount = u16(0x21);
    const int version = static_cast<std::uint8_t>(bytes[0x39]);
    ASSERT_GE(version, 5) << path;
    const std::size_t names = 0x78 + fieldCount * 2 + 4 + fieldCount * 4 + (version >= 12 ? 261 : 79);
    const std::size_t oldLength = bytes.find('\0', names) - names;
    const std::size_t used = u16(0x51);
    const std::ptrdiff_t delta = static_cast<std::ptrdiff_t>(newName.size()) - static_cast<std::ptrdiff_t>(oldLength);
    ASSERT_LE(used + static_cast<std::size_t>(std::max<std::ptrdiff_t>(delta, 0)), headerSize) << path;
    std::string header = bytes.substr(0, headerSize);
    header.replace(names, oldLength, newName);
    header.resize(headerSize, '\0');
    bytes.replace(0, headerSize, header);
    put16(0x51, used + delta);
    put16(0x66, u16(0x66) + delta);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const char* const LongTable = "paradoxdriver/src/test/resources/fields/long.db";  // "+I", keyed on the autoincrement

class TableLists : public test::ModuleTest {
protected:
    // The texts the window shows, in its Slovak.
    test::TScopedLanguage slovak{rtl::TLanguage::Slovak};
};

TEST_F(TableLists, SortsTablesIntoBothListsAndReportsUnreadableOnes) {
    test::CopySample(LongTable, databaseDir / "Hovory.db");
    RenameFirstField(databaseDir / "Hovory.db", "IDXFIELD");
    test::CopySample("paradoxdriver/src/test/resources/fields/long.px", databaseDir / "Hovory.px");
    test::CopySample(LongTable, databaseDir / "Brany.db");
    RenameFirstField(databaseDir / "Brany.db", "IdxField");  // the name must match in letter case too
    test::CopySample("Rparadox/inst/extdata/mushrooms.db", databaseDir / "Tel_zoz.db");
    RenameFirstField(databaseDir / "Tel_zoz.db", "IDXFIELD");  // a plain long integer
    test::CopySample("Rparadox/inst/extdata/country.db", databaseDir / "Krajiny.db");
    test::CopySample("paradoxdriver/src/test/resources/db/CUSTOMER.DB", databaseDir / "Klienti.DB");
    databaseDir.WriteFile("Poskodena.db", std::string(4096, 'x'));

    std::string all, keyViolation;
    Module().LoadTableLists(all, keyViolation);

    EXPECT_EQ(all, "Brany,Hovory,Klienti,Krajiny,Poskodena,Tel_zoz");
    EXPECT_EQ(keyViolation, "Hovory");
    ASSERT_EQ(uiServices.messages.size(), 1u);
    const auto& message = uiServices.messages[0];
    EXPECT_EQ(message.caption, "Inicializácia zoznamu tabuliek databázy");
    EXPECT_EQ(message.icon, ui::TMsgIcon::Error);
    EXPECT_EQ(message.text.rfind("Pri načítavaní tabuľky \"Poskodena\" vznikla chyba:\r\"", 0), 0u) << message.text;
    EXPECT_EQ(message.text.substr(message.text.size() - 3), "\" !");
    EXPECT_EQ(uiServices.pauses, (std::vector<int>{1000, 300}));
    EXPECT_EQ(progress.maxima, (std::vector<int>{100, 6, 100}));
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(panel.Text(), "");
    EXPECT_EQ(Module().TemporaryTable.TableName, "");
}

TEST_F(TableLists, EmptyDirectoryGivesEmptyListsAndAResetProgress) {
    std::string all = "stale", keyViolation = "stale";
    Module().LoadTableLists(all, keyViolation);
    EXPECT_EQ(all, "");
    EXPECT_EQ(keyViolation, "");
    EXPECT_EQ(progress.maxima, (std::vector<int>{100, 0, 100}));
    EXPECT_EQ(panel.texts, (std::vector<std::string>{"Načítavanie tabuliek zo zdrojovej databázy ...",
                                                     "Načítavanie tabuliek zo zdrojovej databázy ...", ""}));
    EXPECT_EQ(uiServices.pauses, (std::vector<int>{1000}));
    EXPECT_TRUE(uiServices.messages.empty());
}

// Names that hold a comma or a blank survive a round trip through the comma text, and an
// unreadable table stays in the list of all tables.
TEST_F(TableLists, CarriesNamesWithCommasAndBlanksWhole) {
    databaseDir.WriteFile("a,b.db", "not a table");
    databaseDir.WriteFile("Moja tabuľka.db", "not a table");
    std::string all, keyViolation;
    Module().LoadTableLists(all, keyViolation);
    EXPECT_EQ(rtl::SplitCommaText(all), (std::vector<std::string>{"a,b", "Moja tabuľka"}));
    EXPECT_EQ(keyViolation, "");
    ASSERT_EQ(uiServices.messages.size(), 2u);
    EXPECT_NE(uiServices.messages[1].text.find("\"Moja tabuľka\""), std::string::npos);
}

} // namespace
