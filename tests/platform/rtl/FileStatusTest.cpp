// The status queries of the file-system seam: what they report, and that a fault armed on
// them reaches the helpers built on them instead of passing for "no such file".
#include "platform/rtl/Error.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using rtl::TFsOp;
using rtl::TFault;
using rtl::TFaultInjectingFileSystem;
using rtl::TFileStatus;

// A file whose status cannot be read may be a table: the listing fails rather than leave it out.
TEST(FileStatus, AFailedStatInAListingIsReportedNotTakenForNoFile) {
    test::TempDir dir;
    dir.WriteFile("Hovory.db", "x");
    dir.WriteFile("Linky.db", "y");
    TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    fs.Arm(TFault{rtl::OpBit(TFsOp::Stat), 2, EIO, false, {}});
    EXPECT_THROW(rtl::ListFiles(dir.Path(), "*.db"), rtl::EFileError);
    EXPECT_TRUE(fs.Struck());
    EXPECT_NE(fs.StruckAt().find("stat"), std::string::npos) << fs.StruckAt();

    fs.Disarm();
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*.db").size(), 2u);
}

TEST(FileStatus, StatusHelpersGoThroughTheSeam) {
    test::TempDir dir;
    const std::string a = dir.WriteFile("a", "x");
    TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    fs.Arm(TFault{rtl::OpBit(TFsOp::Stat), 0, 0, false, {}});
    EXPECT_TRUE(rtl::FileExists(a));
    EXPECT_TRUE(rtl::DirectoryExists(dir.Path()));
    EXPECT_TRUE(rtl::SameFile(a, dir / "./a"));
    EXPECT_TRUE(rtl::GetFileModificationTime(a).has_value());
    EXPECT_EQ(fs.Calls(TFsOp::Stat), 5u);  // one each, two for SameFile

    fs.Arm(TFault{rtl::OpBit(TFsOp::Stat), 1, EACCES, false, {}, true});
    EXPECT_FALSE(rtl::FileExists(a));
    EXPECT_FALSE(rtl::GetFileModificationTime(a).has_value());
    EXPECT_NE(rtl::WhyNotADirectory(dir.Path()), "") << "an unreachable directory is no usable one";
}

} // namespace
