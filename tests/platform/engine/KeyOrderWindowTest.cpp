#include "paradox/KeyOrderWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Rows of a two-letter key and a one-letter tag telling them apart.
std::string Drain(engine::paradox::TKeyOrderWindow& window) {
    std::string out;
    for (; !window.Empty(); window.Pop()) out += std::string(reinterpret_cast<const char*>(window.Front()), 3) + " ";
    return out;
}

void Add(engine::paradox::TKeyOrderWindow& window, const std::string& row) {
    std::string copy = row;
    window.Add(reinterpret_cast<const std::uint8_t*>(copy.data()));
    copy.assign(copy.size(), '?');  // the window keeps its own copy
}

TEST(KeyOrderWindow, RowsLeaveByKeyAndEqualKeysInTheirOrderOfArrival) {
    engine::paradox::TKeyOrderWindow window(3, 2, 6);
    EXPECT_TRUE(window.Empty());
    for (const char* row : {"bba", "bbb", "aaa", "cca", "bbc", "aab"}) {
        ASSERT_FALSE(window.Full());
        Add(window, row);
    }
    EXPECT_TRUE(window.Full());
    EXPECT_EQ(Drain(window), "aaa aab bba bbb bbc cca ");
}

// Full, the smallest row leaves for each that comes: a block's rows that arrive after the
// next block's still leave before them, as long as the window holds the later block.
TEST(KeyOrderWindow, AsAStreamItPutsABlockLinkedOutOfOrderBackInPlace) {
    engine::paradox::TKeyOrderWindow window(3, 2, 3);
    std::string out;
    for (const char* row : {"01a", "02a", "05a", "06a", "07a", "03a", "04a", "08a", "09a"}) {
        if (window.Full()) {
            out += std::string(reinterpret_cast<const char*>(window.Front()), 3) + " ";
            window.Pop();
        }
        Add(window, row);
    }
    out += Drain(window);
    // "03" and "04" come when "05" has left already: they are the caller's to place.
    EXPECT_EQ(out, "01a 02a 05a 03a 04a 06a 07a 08a 09a ");
}

} // namespace
