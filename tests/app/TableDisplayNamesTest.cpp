#include "app/TableDisplayNames.h"

#include <gtest/gtest.h>

namespace {

class DisplayNamesTest : public ::testing::Test {
protected:
    DisplayNamesTest() { app::FillTableDisplayNames(names); }
    std::string Show(const std::string& table) const { return app::DisplayNameOf(names, table); }
    rtl::TStringList names;
};

TEST_F(DisplayNamesTest, HoldsTheSixtyOneEntriesInOrderWithLowerCaseNames) {
    ASSERT_EQ(names.Count(), 61u);
    EXPECT_EQ(names[0], "hovory=Evidované hovory");
    EXPECT_EQ(names[3], "tel_zoz=Prípojky PbÚ");
    EXPECT_EQ(names[6], "transfer=Pomocná tabuľka Transfer.db pre Meridián a Mega");
    EXPECT_EQ(names[39], "dynpasma=Dynamicke pásma");
    EXPECT_EQ(names[48], "srac_stat=Spracovanie - štatistika");
    EXPECT_EQ(names[53], "transfer=Pomoc.tabuľka TRANSFER");
    EXPECT_EQ(names[59], "zlavyhovorov=Zľavy hovorov podľa trvania (detaily)");
    EXPECT_EQ(names[60], "zlavystatov=Zľavy štátov");
    // Descriptions keep their letter case; only names are folded.
    EXPECT_EQ(names[4], "predrpbu=Predradené čísla PBÚ");
}

TEST_F(DisplayNamesTest, LooksNamesUpWhateverTheirLetterCase) {
    EXPECT_EQ(Show("HOVORY"), "Evidované hovory");
    EXPECT_EQ(Show("Hovory"), "Evidované hovory");
    EXPECT_EQ(Show("hovory"), "Evidované hovory");
    EXPECT_EQ(Show("TEL_ZOZ"), "Prípojky PbÚ");
}

TEST_F(DisplayNamesTest, TheFirstOfTwoEntriesWins) {
    EXPECT_EQ(Show("transfer"), "Pomocná tabuľka Transfer.db pre Meridián a Mega");
    EXPECT_EQ(Show("zlavyhovorov"), "Zľavy hovorov podľa trvania");
    EXPECT_EQ(Show("zlavyhovorov_det"), "Detaily zliav hovorov podľa trvania");
}

TEST_F(DisplayNamesTest, KeepsTheListedSpellings) {
    EXPECT_EQ(Show("Srac_stat"), "Spracovanie - štatistika");
    EXPECT_EQ(Show("Sprac_stat"), "Sprac_stat");
    EXPECT_EQ(Show("Sprac_stat_log"), "Denník spracovania - štatistika");
    EXPECT_EQ(Show("DynPasma"), "Dynamicke pásma");
    EXPECT_EQ(Show("rocne_zu"), "Ročné rozúčtovanie");
}

TEST_F(DisplayNamesTest, AnUnknownTableShowsItsOwnNameAsReported) {
    EXPECT_EQ(Show("MyTable"), "MyTable");
    EXPECT_EQ(Show("Hovory2"), "Hovory2");
    EXPECT_EQ(Show("Table with blanks"), "Table with blanks");
    EXPECT_EQ(Show(""), "");
}

TEST_F(DisplayNamesTest, AFreshFillReplacesWhatTheListHeld) {
    names.Add("extra=x");
    app::FillTableDisplayNames(names);
    EXPECT_EQ(names.Count(), 61u);
}

} // namespace
