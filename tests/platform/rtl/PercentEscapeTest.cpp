// Names in journals and restore intents travel through percent escapes: whatever a name holds
// comes back whole, and a record altered by hand into a broken escape is refused.
#include "platform/rtl/PercentEscape.h"

#include <gtest/gtest.h>

TEST(PercentEscape, EveryByteOfANameComesBackAndBrokenEscapesAreRefused) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    for (const std::string& name : {std::string("Hovory.DB"), std::string("a\tb\nc\rd%e"), all}) {
        const std::string escaped = rtl::PercentEscape(name);
        // No tab or line end is left to split the record.
        for (const char c : escaped) EXPECT_GE(static_cast<unsigned char>(c), 0x20u) << name;
        std::string back;
        ASSERT_TRUE(rtl::PercentUnescape(escaped, back));
        EXPECT_EQ(back, name);
    }
    std::string out;
    for (const char* broken : {"%", "a%4", "%G1", "%-1", "% 1", "x%+f"}) EXPECT_FALSE(rtl::PercentUnescape(broken, out)) << broken;
    ASSERT_TRUE(rtl::PercentUnescape("%2e%2E%2F", out));
    EXPECT_EQ(out, "../");
}
