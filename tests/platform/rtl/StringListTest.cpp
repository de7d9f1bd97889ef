#include "platform/rtl/StringList.h"

#include <gtest/gtest.h>

using rtl::SplitCommaText;
using rtl::TStringList;
using Items = std::vector<std::string>;

TEST(CommaText, SplitsAtCommasAndBlanksOutsideQuotes) {
    EXPECT_EQ(SplitCommaText("hovory,tel_zoz"), (Items{"hovory", "tel_zoz"}));
    EXPECT_EQ(SplitCommaText("a b,c"), (Items{"a", "b", "c"}));
    EXPECT_EQ(SplitCommaText("  a , b  "), (Items{"a", "b"}));
    EXPECT_EQ(SplitCommaText("\"Hovory\",\"Tel_zoz\""), (Items{"Hovory", "Tel_zoz"}));
    EXPECT_EQ(SplitCommaText("\"moje tabulky, stare\",x"), (Items{"moje tabulky, stare", "x"}));
    EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\"\""), (Items{"say \"hi\""}));
    EXPECT_EQ(SplitCommaText("a\tb\nc"), (Items{"a", "b", "c"}));
}

TEST(CommaText, EmptyItemsAndEmptyText) {
    EXPECT_TRUE(SplitCommaText("").empty());
    EXPECT_TRUE(SplitCommaText("   ").empty());
    EXPECT_EQ(SplitCommaText("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(SplitCommaText(",a"), (Items{"", "a"}));
    EXPECT_EQ(SplitCommaText("a,"), (Items{"a", ""}));
    EXPECT_EQ(SplitCommaText("\"\""), (Items{""}));
    // An unterminated quote takes the rest of the text rather than losing it.
    EXPECT_EQ(SplitCommaText("\"open, end"), (Items{"open, end"}));
}

TEST(CommaText, RoundTripKeepsAwkwardItems) {
    TStringList list{"plain", "with space", "with,comma", "with \"quote\"", "", "x"};
    const std::string text = list.CommaText();
    EXPECT_EQ(text, "plain,\"with space\",\"with,comma\",\"with \"\"quote\"\"\",\"\",x");
    TStringList back;
    back.SetCommaText(text);
    EXPECT_EQ(back.Items(), list.Items());
}

TEST(NameValue, LookupIgnoresCaseAndSplitsAtFirstEquals) {
    TStringList params;
    params.SetText("PATH=/data/orvan\r\nDEFAULT DRIVER=PARADOX\nFORMULA=a=b\n");
    EXPECT_EQ(params.Value("path"), "/data/orvan");
    EXPECT_EQ(params.Value("Default Driver"), "PARADOX");
    EXPECT_EQ(params.Value("FORMULA"), "a=b");
    EXPECT_EQ(params.Value("missing"), "");
    params.SetValue("Path", "/other");
    EXPECT_EQ(params.Count(), 3u);
    EXPECT_EQ(params.Value("PATH"), "/other");
    params.SetValue("ENABLE BCD", "FALSE");
    EXPECT_EQ(params.Count(), 4u);
    EXPECT_EQ(params.IndexOf("HOVORY"), -1);
}

