// The rebuild's report as text: a wiped header makes every block a finding of its own, and the
// text shows the first ones and counts the rest; the JSON holds every one.
#include "tools/common/RebuildReportText.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(RebuildReportText, ManyFindingsShowTheFirstTwentyAndCountTheRest) {
    tutil::TRebuildReport r;
    r.TablePath = "/db/Hovory.DB";
    r.Rebuilt = true;
    for (int i = 1; i <= 25; ++i) r.Problems.push_back("block " + std::to_string(i) + " lies outside the chain");
    std::ostringstream text;
    tools::PrintRebuildReport(text, r);
    EXPECT_EQ(Count(text.str(), "  damage: block "), 20u) << text.str();
    EXPECT_NE(text.str().find("  damage: block 20 lies"), std::string::npos);
    EXPECT_EQ(text.str().find("block 21 lies"), std::string::npos);
    EXPECT_NE(text.str().find("  damage: 5 more of the same table"), std::string::npos) << text.str();
    EXPECT_EQ(tools::RebuildReportJson(r)["damage"].size(), 25u);

    r.Problems.resize(20);  // exactly as many as are shown: no count line
    std::ostringstream all;
    tools::PrintRebuildReport(all, r);
    EXPECT_EQ(Count(all.str(), "  damage: "), 20u) << all.str();
}

} // namespace
