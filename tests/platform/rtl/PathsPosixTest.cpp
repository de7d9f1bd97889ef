// Path and time rules that hold on POSIX systems alone: a backslash belongs to the name,
// symbolic links to directories are made by any user, and times keep every nanosecond
// (Windows keeps 100 ns steps: FileSystemWin32Test).
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace rtl;

TEST(Paths, ABackslashIsPartOfALinuxFileName) {
    EXPECT_EQ(ExtractFileName("/data/Old\\Brany.DB"), "Old\\Brany.DB");
    EXPECT_EQ(ExtractFilePath("/data/Old\\Brany.DB"), "/data/");
    EXPECT_EQ(ExtractFileDir("a\\b"), "");
    EXPECT_EQ(ExtractFileExt("/data/Old.x\\Brany"), ".x\\Brany");
}

TEST(Paths, SameDirectorySeesThroughDotsAndLinks) {
    test::TempDir tmp;
    ForceDirectories(tmp.Path() + "/db");
    EXPECT_TRUE(SameDirectory(tmp.Path() + "/db", tmp.Path() + "/db/."));
    EXPECT_TRUE(SameDirectory(tmp.Path() + "/db", tmp.Path() + "/db/../db/"));
    std::filesystem::create_directory_symlink(tmp.Path() + "/db", tmp.Path() + "/link");
    EXPECT_TRUE(SameDirectory(tmp.Path() + "/db", tmp.Path() + "/link"));
    EXPECT_FALSE(SameDirectory(tmp.Path() + "/db", tmp.Path()));
    EXPECT_FALSE(SameDirectory(tmp.Path() + "/db", tmp.Path() + "/missing"));
}

TEST(FileTimes, RoundTripAtNanosecondPrecision) {
    test::TempDir tmp;
    const std::string f = tmp.WriteFile("Hovory.db", "data");
    const TFileTime t{1234567890, 123456789};
    ASSERT_TRUE(SetFileModificationTime(f, t));
    EXPECT_EQ(GetFileModificationTime(f), t);
    EXPECT_FALSE(GetFileModificationTime(tmp.Path() + "/missing").has_value());
    EXPECT_FALSE(SetFileModificationTime(tmp.Path() + "/missing", t));
}
