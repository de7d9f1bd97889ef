#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace rtl;

TEST(Paths, NameAndDirectoryParts) {
    EXPECT_EQ(WithTrailingSeparator("/data"), "/data/");
    EXPECT_EQ(WithTrailingSeparator("/data/"), "/data/");
    EXPECT_EQ(WithTrailingSeparator(""), "");
    EXPECT_EQ(ExtractFileName("/data/HOVORY.DB"), "HOVORY.DB");
    // A backslash is an ordinary character of a Linux file name.
    EXPECT_EQ(ExtractFileName("/data/Old\\Brany.DB"), "Old\\Brany.DB");
    EXPECT_EQ(ExtractFilePath("/data/Old\\Brany.DB"), "/data/");
    EXPECT_EQ(ExtractFileDir("a\\b"), "");
    EXPECT_EQ(ExtractFileExt("/data/Old.x\\Brany"), ".x\\Brany");
    EXPECT_EQ(ExtractFileName("Backup.zip"), "Backup.zip");
    EXPECT_EQ(ExtractFilePath("/data/HOVORY.DB"), "/data/");
    EXPECT_EQ(ExtractFilePath("Backup.zip"), "");
    EXPECT_EQ(ExtractFileDir("/data/x/HOVORY.DB"), "/data/x");
    EXPECT_EQ(ExtractFileDir("/HOVORY.DB"), "/");
    EXPECT_EQ(ExtractFileExt("/d.ir/Hovory.X02"), ".X02");
    EXPECT_EQ(ExtractFileExt("/d.ir/Hovory"), "");
    EXPECT_EQ(ChangeFileExt("/d/Hovory.db", ".px"), "/d/Hovory.px");
    EXPECT_EQ(ChangeFileExt("/d.x/Hovory", ".db"), "/d.x/Hovory.db");
}

TEST(Paths, ForceDirectoriesCreatesEveryLevelAndFailsOverAFile) {
    test::TempDir tmp;
    const std::string deep = tmp.Path() + "/a/b/c/d";
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(ForceDirectories(deep));  // already there

    tmp.WriteFile("file", "x");
    EXPECT_FALSE(ForceDirectories(tmp.Path() + "/file/sub"));
    EXPECT_FALSE(ForceDirectories(""));
    EXPECT_TRUE(FileExists(tmp.Path() + "/file"));
    EXPECT_FALSE(FileExists(tmp.Path() + "/a"));
    EXPECT_TRUE(DeleteFile(tmp.Path() + "/file"));
    EXPECT_FALSE(DeleteFile(tmp.Path() + "/file"));
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
    const FileTime t{1234567890, 123456789};
    ASSERT_TRUE(SetFileModificationTime(f, t));
    EXPECT_EQ(GetFileModificationTime(f), t);
    EXPECT_FALSE(GetFileModificationTime(tmp.Path() + "/missing").has_value());
    EXPECT_FALSE(SetFileModificationTime(tmp.Path() + "/missing", t));
}
