// What the engine finds wrong in a damaged table reads in the process language: English for
// pdx and scripts (unchanged, word for word), Slovak for the window.
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "paradox/TableGeometry.h"
#include "platform/rtl/Messages.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace engine::paradox;
namespace fs = std::filesystem;

// The problems of ORDERS.DB (2 KiB blocks) whose block 4 links back to block 7.
std::vector<std::string> ProblemsOfABrokenBackLink(rtl::TLanguage language) {
    test::TempDir dir;
    const std::string sample = std::string(TABLORA_SAMPLES_DIR) + "/paradoxdriver/src/test/resources/db/ORDERS.DB";
    const std::string db = dir.Path() + "/ORDERS.DB";
    std::ifstream in(sample, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string s = bytes.str();
    const std::size_t block4 = 2048 + 3 * 2048;
    s[block4 + 2] = 7;
    s[block4 + 3] = 0;
    std::ofstream(db, std::ios::binary) << s;
    rtl::SetLanguage(language);
    std::vector<std::string> texts;
    for (const auto& p : CheckTable(*TParadoxTable::Open(db)).Problems) texts.push_back(p.Describe());
    rtl::SetLanguage(rtl::TLanguage::English);
    return texts;
}

TEST(ProblemLanguage, ABrokenChainIsDescribedInTheProcessLanguage) {
    const auto english = ProblemsOfABrokenBackLink(rtl::TLanguage::English);
    const auto slovak = ProblemsOfABrokenBackLink(rtl::TLanguage::Slovak);
    ASSERT_FALSE(english.empty());
    ASSERT_EQ(english.size(), slovak.size());
    EXPECT_EQ(english.front(), "ORDERS.DB: block 4 (offset 0x2000): back link names block 7 instead of 3");
    EXPECT_EQ(slovak.front(), "ORDERS.DB: blok 4 (posun 0x2000): spätný odkaz ukazuje na blok 7 namiesto 3");
}

// The rebuild's refusal reaches the window, so it follows the process language too.
TEST(ProblemLanguage, TheRebuildsRefusalOfAFieldListIsInTheProcessLanguage) {
    TTableHeader h;
    h.StoredRecordSize = 4;
    h.Fields.push_back(TFieldInfo{"Kód", 0x7F, 4, 4, 0});
    rtl::SetLanguage(rtl::TLanguage::Slovak);
    const std::string slovak = UnusableFieldList(h);
    rtl::SetLanguage(rtl::TLanguage::English);
    EXPECT_EQ(slovak, "pole 1 má kód typu 127, ktorý nedefinuje žiadna verzia formátu Paradox");
    EXPECT_EQ(UnusableFieldList(h), "field 1 has the type code 127, which no Paradox version defines");
}

} // namespace
