// The status queries of the file-system seam against what POSIX itself reports.
#include "platform/rtl/FileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

using rtl::TFileKind;
using rtl::TFileStatus;

TEST(FileStatus, ReportsKindSizeModeOwnerTimeAndIdentity) {
    test::TempDir dir;
    const std::string a = dir.WriteFile("a.db", "12345");
    ASSERT_EQ(::chmod(a.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("a.db", (dir / "link").c_str()), 0);
    ASSERT_EQ(::link(a.c_str(), (dir / "second").c_str()), 0);
    struct stat real {};
    ASSERT_EQ(::stat(a.c_str(), &real), 0);

    rtl::TFileSystem& fs = rtl::FileSystem();
    TFileStatus st;
    ASSERT_EQ(fs.Stat(a, st), 0);
    EXPECT_EQ(st.Kind, TFileKind::Regular);
    EXPECT_EQ(st.Size, 5u);
    EXPECT_EQ(st.Mode, 0640u);
    EXPECT_EQ(st.Owner, ::geteuid());
    EXPECT_EQ(st.Links, 2u);
    EXPECT_EQ(st.ModifyNs, real.st_mtim.tv_sec * 1000000000LL + real.st_mtim.tv_nsec);

    TFileStatus link, through, second;
    ASSERT_EQ(fs.Lstat(dir / "link", link), 0);
    EXPECT_EQ(link.Kind, TFileKind::Symlink);
    ASSERT_EQ(fs.Stat(dir / "link", through), 0);
    EXPECT_TRUE(through.SameFileAs(st)) << "a followed link is the file it names";
    ASSERT_EQ(fs.Stat(dir / "second", second), 0);
    EXPECT_TRUE(second.SameFileAs(st));
    EXPECT_FALSE(link.SameFileAs(st));

    const int fd = fs.Open(a, O_RDONLY);
    ASSERT_GE(fd, 0);
    TFileStatus open;
    EXPECT_EQ(fs.Fstat(fd, open), 0);
    EXPECT_TRUE(open.SameFileAs(st));
    EXPECT_EQ(open.Size, 5u);
    fs.Close(fd);

    TFileStatus d;
    ASSERT_EQ(fs.Stat(dir.Path(), d), 0);
    EXPECT_TRUE(d.IsDirectory());
    errno = 0;
    EXPECT_EQ(fs.Stat(dir / "missing", d), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(fs.Access(a, rtl::AccessExists), 0);
    EXPECT_EQ(fs.Access(dir / "missing", rtl::AccessExists), -1);
}

} // namespace
