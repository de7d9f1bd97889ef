#include "platform/rtl/FaultInjection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace {

using rtl::TFsOp;
using rtl::TFault;
using rtl::TFaultInjectingFileSystem;

// Creates, writes, syncs and renames one file through the installed seam; -1 at the first failure.
int WriteAndRename(const std::string& dir) {
    rtl::TFileSystem& fs = rtl::FileSystem();
    const int fd = fs.Open(dir + "/tmp", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return -1;
    const bool ok = fs.Write(fd, "abc", 3) == 3 && fs.Sync(fd) == 0;
    fs.Close(fd);
    if (!ok) return -1;
    if (fs.Rename(dir + "/tmp", dir + "/final") != 0) return -1;
    return fs.SyncDirectory(dir);
}

TEST(FaultInjection, EachMutatingCallOfACleanRunCanBeStruckInTurn) {
    test::TempDir dir;
    TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    fs.Arm(TFault{});
    ASSERT_EQ(WriteAndRename(dir.Path()), 0);
    const std::uint64_t points = fs.Counted();
    EXPECT_EQ(points, 5u);  // open-write, write, sync, rename, sync-dir
    for (std::uint64_t n = 1; n <= points; ++n) {
        std::filesystem::remove(dir / "final");
        fs.Arm(TFault{0, n, ENOSPC, false, {}});
        errno = 0;
        EXPECT_EQ(WriteAndRename(dir.Path()), -1) << "point " << n;
        EXPECT_EQ(errno, ENOSPC) << "point " << n;
        EXPECT_TRUE(fs.Struck());
        // Before the rename struck, nothing reached the final name.
        if (n <= 4) {
            EXPECT_FALSE(std::filesystem::exists(dir / "final")) << fs.StruckAt();
        }
    }
}

TEST(FaultInjection, OnlyTheChosenKindsAndPathsCount) {
    test::TempDir dir;
    TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    fs.Arm(TFault{rtl::OpBit(TFsOp::Rename), 1, EROFS, false, {}});
    EXPECT_EQ(WriteAndRename(dir.Path()), -1);
    EXPECT_EQ(errno, EROFS);
    EXPECT_NE(fs.StruckAt().find("rename"), std::string::npos);
    EXPECT_EQ(fs.Calls(TFsOp::Write), 1u);

    fs.ResetCounts();
    fs.Arm(TFault{0, 1, EIO, false, "elsewhere"});
    EXPECT_EQ(WriteAndRename(dir.Path()), 0);
    EXPECT_FALSE(fs.Struck());
}

TEST(FaultInjection, EnvironmentSettingsParseOrAreRefusedWithAReason) {
    TFault f;
    std::string count, error;
    ASSERT_TRUE(rtl::ParseFault("ops=write,rename;nth=3;errno=ENOSPC", f, count, error)) << error;
    EXPECT_EQ(f.Ops, rtl::OpBit(TFsOp::Write) | rtl::OpBit(TFsOp::Rename));
    EXPECT_EQ(f.Nth, 3u);
    EXPECT_EQ(f.Error, ENOSPC);
    EXPECT_FALSE(f.Kill);
    ASSERT_TRUE(rtl::ParseFault("nth=7;kill;count=/tmp/n", f, count, error));
    EXPECT_TRUE(f.Kill);
    EXPECT_EQ(count, "/tmp/n");
    ASSERT_TRUE(rtl::ParseFault("ops=all;nth=2;errno=EROFS;persist", f, count, error)) << error;
    EXPECT_EQ(f.Ops, rtl::AllOps());
    EXPECT_TRUE(f.Persistent);
    EXPECT_FALSE(rtl::ParseFault("ops=writ", f, count, error));
    EXPECT_NE(error.find("writ"), std::string::npos);
    EXPECT_FALSE(rtl::ParseFault("nth=x", f, count, error));
    EXPECT_FALSE(rtl::ParseFault("errno=EWHAT", f, count, error));
}

// A link is a call that changes the disk (a kill or failure can strike it), it never
// replaces a name, and it fails with the errno asked for, also when named by the environment.
TEST(FaultInjection, ALinkCountsAsAChangeAndNeverReplaces) {
    test::TempDir dir;
    const std::string a = dir.WriteFile("a", "aaa"), b = dir.WriteFile("b", "bbb");
    TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    fs.Arm(TFault{});
    errno = 0;
    EXPECT_EQ(fs.Link(a, b), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(test::FileBytes(b), "bbb");
    ASSERT_EQ(fs.Link(a, dir / "c"), 0);
    EXPECT_TRUE(std::filesystem::equivalent(a, dir / "c"));
    EXPECT_EQ(fs.Calls(TFsOp::Link), 2u);
    EXPECT_EQ(fs.Counted(), 2u) << "links count among the changing calls";

    TFault f;
    std::string count, error;
    ASSERT_TRUE(rtl::ParseFault("ops=link;nth=1;errno=EXDEV", f, count, error)) << error;
    fs.Arm(f);
    errno = 0;
    EXPECT_EQ(fs.Link(a, dir / "d"), -1);
    EXPECT_EQ(errno, EXDEV);
    EXPECT_FALSE(std::filesystem::exists(dir / "d"));
    EXPECT_NE(fs.StruckAt().find("link " + a + " -> "), std::string::npos) << fs.StruckAt();
    for (const char* name : {"EMLINK", "EOPNOTSUPP", "ENOSYS", "EPERM"})
        EXPECT_TRUE(rtl::ParseFault(std::string("ops=link;nth=1;errno=") + name, f, count, error)) << name;
}

// A disk that stays full: from the chosen call on, every counted call fails.
TEST(FaultInjection, APersistentFaultKeepsFailing) {
    test::TempDir dir;
    TFaultInjectingFileSystem fs;
    rtl::TScopedFileSystem scope(fs);
    TFault fault{rtl::OpBit(TFsOp::Write), 2, ENOSPC, false, {}};
    fault.Persistent = true;
    fs.Arm(fault);
    const int fd = fs.Open(dir / "f", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fs.Write(fd, "a", 1), 1);
    for (int i = 0; i < 3; ++i) {
        errno = 0;
        EXPECT_EQ(fs.Write(fd, "b", 1), -1);
        EXPECT_EQ(errno, ENOSPC);
    }
    EXPECT_NE(fs.StruckAt().find("write"), std::string::npos);
    fs.Close(fd);
    EXPECT_EQ(std::filesystem::file_size(dir / "f"), 1u);
}

} // namespace
