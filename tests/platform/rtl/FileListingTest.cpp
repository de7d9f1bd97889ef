#include "platform/rtl/FileListing.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using rtl::ListFiles;
using rtl::MatchesMask;
using Names = std::vector<std::string>;

TEST(MatchesMask, WildcardsIgnoreLetterCase) {
    EXPECT_TRUE(MatchesMask("HOVORY.DB", "*.db"));
    EXPECT_TRUE(MatchesMask("Hovory.X02", "*.x*"));
    EXPECT_TRUE(MatchesMask("Hovory.XG0", "*.x*"));
    EXPECT_TRUE(MatchesMask("Hovory.YG0", "*.y*"));
    EXPECT_TRUE(MatchesMask("notes.xls", "*.x*"));
    EXPECT_FALSE(MatchesMask("Hovory.db.bak", "*.db"));
    EXPECT_FALSE(MatchesMask("Hovory.px", "*.x*"));
    EXPECT_TRUE(MatchesMask("a.db", "?.db"));
    EXPECT_FALSE(MatchesMask("ab.db", "?.db"));
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("README", "*"));
    EXPECT_TRUE(MatchesMask("a*b", "a*b"));
    // A long name against many stars stays fast (no exponential backtracking).
    EXPECT_FALSE(MatchesMask(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*b"));
}

// A directory that cannot be read might hold any file: saying "no files" would let a restore
// copy nothing and a deletion delete nothing, both reported as done.
TEST(ListFiles, ADirectoryThatCannotBeListedRaisesButAMissingOneIsEmpty) {
    test::TempDir tmp;
    tmp.WriteFile("HOVORY.DB", "1");
    const std::string file = tmp.WriteFile("plain", "x");
    EXPECT_TRUE(ListFiles(file, "*").empty());  // a file where the directory should be
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::List), 1, EIO, false, {}});
    try {
        ListFiles(tmp.Path(), "*.db");
        ADD_FAILURE() << "a failed listing gave a list";
    } catch (const rtl::EFileError& e) {
        EXPECT_EQ(e.Message(), "Cannot list the directory \"" + tmp.Path() + "\": Input/output error");
    }
    EXPECT_EQ(ListFiles(tmp.Path(), "*.db"), (Names{"HOVORY.DB"}));
}
