#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace rtl;

TEST(Paths, NameAndDirectoryParts) {
    EXPECT_EQ(WithTrailingSeparator("/data"), std::string("/data") + PathSeparator);
    EXPECT_EQ(WithTrailingSeparator("/data/"), "/data/");
    EXPECT_EQ(WithTrailingSeparator(""), "");
    EXPECT_EQ(ExtractFileName("/data/HOVORY.DB"), "HOVORY.DB");
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
