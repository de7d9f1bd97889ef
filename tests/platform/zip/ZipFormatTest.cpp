// Entry-name safety and the extended timestamp field.
#include "platform/rtl/Paths.h"
#include "platform/zip/EntryNames.h"
#include "platform/zip/ExtendedTimestamp.h"

#include <gtest/gtest.h>

namespace {

// "/" separates the folders of stored names. A backslash is an ordinary character of a
// Linux file name, so "Old\Brany.DB" never lands on Brany.DB there; on Windows it separates
// folders, so only the last part is kept and "..\" cannot climb out.
TEST(FlatEntryName, KeepsOnlyTheLastPartOfSafeNames) {
    EXPECT_EQ(azip::FlatEntryName("Hovory.DB"), "Hovory.DB");
    const bool backslashSeparates = rtl::IsPathSeparator('\\');
    EXPECT_EQ(azip::FlatEntryName("Old\\Brany.DB"), backslashSeparates ? "Brany.DB" : "Old\\Brany.DB");
    EXPECT_EQ(azip::FlatEntryName("data/sub\\Brany.px"), backslashSeparates ? "Brany.px" : "sub\\Brany.px");
    EXPECT_EQ(azip::FlatEntryName("..\\..\\Brany.DB"), backslashSeparates ? "Brany.DB" : "..\\..\\Brany.DB");
    EXPECT_EQ(azip::FlatEntryName("../../etc/passwd"), "passwd");
    EXPECT_EQ(azip::FlatEntryName("..."), "...");
}

TEST(FlatEntryName, RefusesNamesThatAreNoPlainFile) {
    for (const char* name : {"", ".", "..", "a/..", "x/", "C:", "C:x", "C:\\DATA\\Hovory.DB", "a/b:c", "name:stream"})
        EXPECT_FALSE(azip::FlatEntryName(name)) << name;
    EXPECT_TRUE(azip::IsDirectoryEntry("dir/"));
    EXPECT_FALSE(azip::IsDirectoryEntry("dir\\"));
    EXPECT_FALSE(azip::IsDirectoryEntry("dir"));
}

TEST(ExtendedTimestamp, RoundTripsWholeSecondsAndIgnoresFieldsWithoutModificationTime) {
    for (std::time_t t : {std::time_t{0}, std::time_t{1'000'000'001}, std::time_t{4'000'000'000}}) {
        const auto data = azip::EncodeExtendedTimestamp(t);
        ASSERT_EQ(data.size(), 5u);
        EXPECT_EQ(azip::DecodeExtendedTimestamp(data.data(), data.size()), t);
    }
    const std::uint8_t accessOnly[] = {0x02, 1, 2, 3, 4};
    EXPECT_FALSE(azip::DecodeExtendedTimestamp(accessOnly, sizeof accessOnly));
    const std::uint8_t truncated[] = {0x01, 1, 2};
    EXPECT_FALSE(azip::DecodeExtendedTimestamp(truncated, sizeof truncated));
    // Info-ZIP's local form: flags, then modification and access times.
    const std::uint8_t infoZip[] = {0x03, 0x01, 0xCA, 0x9A, 0x3B, 0, 0, 0, 0};
    EXPECT_EQ(azip::DecodeExtendedTimestamp(infoZip, sizeof infoZip), std::time_t{1'000'000'001});
}

} // namespace
