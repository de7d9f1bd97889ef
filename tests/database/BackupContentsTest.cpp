// Reading a backup directory back: a file whose size cannot be read makes the backup one
// that does not read back whole, instead of being counted as nothing.
#include "database/BackupContents.h"
#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace {

bool HasProblemNaming(const database::TBackupContents& c, const std::string& text) {
    return std::any_of(c.Problems.begin(), c.Problems.end(),
                       [&](const std::string& p) { return p.find(text) != std::string::npos; });
}

TEST(BackupContents, AFileWhoseSizeCannotBeReadIsAProblem) {
    test::TempDir dir;
    dir.WriteFile("notes.txt", "12345");
    dir.WriteFile("other.txt", "123");
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Stat), 0, 0, false, {}});
    const database::TBackupContents clean = database::ReadBackBackupDirectory(dir.Path());
    EXPECT_EQ(clean.Bytes, 8u);
    EXPECT_FALSE(HasProblemNaming(clean, "notes.txt"));

    // The listing examines each file first; the second status query of notes.txt is its size.
    fs.Arm(rtl::TFault{rtl::OpBit(rtl::TFsOp::Stat), 2, EIO, false, "notes.txt"});
    const database::TBackupContents struck = database::ReadBackBackupDirectory(dir.Path());
    ASSERT_TRUE(fs.Struck());
    EXPECT_TRUE(HasProblemNaming(struck, "notes.txt: Input/output error")) << struck.Problems.size();
    EXPECT_FALSE(struck.Whole());
    EXPECT_EQ(struck.Bytes, 3u);
}

} // namespace
