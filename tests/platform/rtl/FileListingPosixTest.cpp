// Listing rules that only a POSIX system can show: read-only modes, fifos, symbolic links, and
// names that differ in letter case alone side by side.
#include "platform/rtl/FileListing.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>

using rtl::ListFiles;
using Names = std::vector<std::string>;

TEST(ListFiles, RegularFilesOnlyIncludingHiddenAndReadOnly) {
    test::TempDir tmp;
    tmp.WriteFile("HOVORY.DB", "1");
    tmp.WriteFile("tel_zoz.db", "2");
    tmp.WriteFile(".hidden.db", "3");
    const std::string ro = tmp.WriteFile("Brany.DB", "4");
    ::chmod(ro.c_str(), 0444);
    tmp.WriteFile("Hovory.PX", "5");
    std::filesystem::create_directory(tmp.Path() + "/subdir.db");
    ::mkfifo((tmp.Path() + "/pipe.db").c_str(), 0644);
    std::filesystem::create_symlink(tmp.Path() + "/HOVORY.DB", tmp.Path() + "/link.db");

    EXPECT_EQ(ListFiles(tmp.Path(), "*.db"), (Names{".hidden.db", "Brany.DB", "HOVORY.DB", "tel_zoz.db"}));
    EXPECT_EQ(ListFiles(tmp.Path(), "*.px"), (Names{"Hovory.PX"}));
    EXPECT_EQ(rtl::ListFilesByPattern(tmp.Path() + "/hovory.*"), (Names{"HOVORY.DB", "Hovory.PX"}));
    EXPECT_TRUE(ListFiles(tmp.Path() + "/missing", "*").empty());
}

// Lists read as a person expects: a lower-case name does not sort after every capital, and
// names equal but for letter case keep one fixed order.
TEST(ListFiles, SortedWithoutRegardToLetterCase) {
    test::TempDir tmp;
    for (const char* name : {"zebra.db", "beta.db", "Alfa.db", "BETA.db", "aB.db", "a_b.db"}) tmp.WriteFile(name, "x");
    EXPECT_EQ(ListFiles(tmp.Path(), "*"), (Names{"a_b.db", "aB.db", "Alfa.db", "BETA.db", "beta.db", "zebra.db"}));
    EXPECT_TRUE(rtl::NameLess("BETA.db", "beta.db"));
    EXPECT_FALSE(rtl::NameLess("beta.db", "BETA.db"));
    EXPECT_FALSE(rtl::NameLess("beta.db", "beta.db"));
    EXPECT_TRUE(rtl::NameLess("beta", "beta.db"));
}
