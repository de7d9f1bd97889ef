#include "platform/rtl/FileIo.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/rtl/Paths.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

using rtl::TFsOp;
using rtl::OpBit;
using rtl::TFault;

TEST(FileIo, UniqueFilesAreNewPrivateAndNeverAFollowedLink) {
    test::TempDir dir;
    std::string a, b;
    const int fa = rtl::CreateUniqueFile(dir / ".copy-", ".tmp", 0600, a);
    const int fb = rtl::CreateUniqueFile(dir / ".copy-", ".tmp", 0600, b);
    ASSERT_GE(fa, 0);
    ASSERT_GE(fb, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.size(), (dir / ".copy-XXXXXX.tmp").size());
    struct stat st {};
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::close(fa);
    ::close(fb);

    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(TFault{OpBit(TFsOp::OpenWrite), 1, EROFS, false, {}});
    std::string none;
    EXPECT_EQ(rtl::CreateUniqueFile(dir / "x", "", 0600, none), -1);
    EXPECT_EQ(errno, EROFS);
    EXPECT_TRUE(none.empty());
}

// A read that fails is an error, never the end of a short file: a list or a configuration
// read halfway would quietly lose its tail.
TEST(FileIo, AWholeFileReadFailsOnAReadErrorAndWritesFailOnAFullDisk) {
    test::TempDir dir;
    const std::string path = dir.WriteFile("list", std::string(40000, 'l'));
    std::string content;
    ASSERT_TRUE(rtl::ReadWholeFile(path, content));
    EXPECT_EQ(content.size(), 40000u);

    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(TFault{OpBit(TFsOp::Read), 2, EIO, false, {}});
    EXPECT_FALSE(rtl::ReadWholeFile(path, content));
    EXPECT_EQ(errno, EIO);
    EXPECT_FALSE(rtl::ReadWholeFile(dir / "missing", content));
    EXPECT_EQ(errno, ENOENT);

    fs.Arm(TFault{OpBit(TFsOp::Write), 1, ENOSPC, false, {}});
    std::string made;
    const int fd = rtl::CreateUniqueFile(dir / "w", "", 0600, made);
    EXPECT_FALSE(rtl::WriteAll(fd, "abc", 3));
    EXPECT_EQ(errno, ENOSPC);
    ::close(fd);
}

TEST(FileIo, DirectoriesAreMadeLevelByLevelThroughTheSeamAndAFileInTheWayIsNamed) {
    test::TempDir dir;
    rtl::TFaultInjectingFileSystem fs;
    const rtl::TScopedFileSystem installed(fs);
    fs.Arm(TFault{});
    EXPECT_TRUE(rtl::ForceDirectories(dir / "a/b/c"));
    EXPECT_EQ(fs.Calls(TFsOp::MakeDirectory), 3u);
    dir.WriteFile("file", "x");
    errno = 0;
    EXPECT_FALSE(rtl::ForceDirectories(dir / "file/sub"));
    EXPECT_EQ(errno, ENOTDIR);
    fs.Arm(TFault{OpBit(TFsOp::MakeDirectory), 2, EACCES, false, {}});
    EXPECT_FALSE(rtl::ForceDirectories(dir / "p/q/r"));
    EXPECT_EQ(errno, EACCES);
    EXPECT_TRUE(rtl::DirectoryExists(dir / "p"));
    EXPECT_FALSE(rtl::DirectoryExists(dir / "p/q"));
}

// Temporaries of killed runs carry their process's id: those of ended processes go, those of
// running ones (this one included) and files that only look alike stay.
TEST(FileIo, OnlyFilesOfEndedProcessesAreRemoved) {
    test::TempDir dir;
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string dead = std::to_string(ended), live = std::to_string(::getppid());
    for (const std::string& name : std::vector<std::string>{".copy-" + dead + ".abc.tmp", ".copy-" + live + ".abc.tmp", ".copy-" + rtl::ProcessTag() + "x.tmp",
                                    ".copy-" + dead + "x.tmp", ".copy-notapid.tmp", "Hovory.db"})
        dir.WriteFile(name, "");
    rtl::RemoveFilesOfEndedProcesses(dir.Path(), ".copy-*.tmp", ".copy-");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{".copy-" + dead + "x.tmp", ".copy-" + live + ".abc.tmp",
                                      ".copy-" + rtl::ProcessTag() + "x.tmp", ".copy-notapid.tmp", "Hovory.db"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    rtl::RemoveFilesOfEndedProcesses(dir / "missing", "*", ".");  // nothing to list: nothing happens
}

} // namespace
