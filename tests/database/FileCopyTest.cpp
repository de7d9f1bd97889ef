// Copying one file: contents, times, progress, and above all what a failure at any step
// leaves behind — never a half-written file in place of a good one.
#include "database/FileCopy.h"
#include "database/TableFileSet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Paths.h"
#include "tests/database/ModuleFixture.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace {

using database::CopyOneFile;
using rtl::TFsOp;
using rtl::OpBit;
using test::FaultAt;
using test::ReadAll;
using test::TScopedFault;

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 8192) & 0xFF);
    return s;
}

std::string CopyError(const std::string& source, const std::string& target, ui::IProgressTarget* bar = nullptr) {
    try {
        CopyOneFile(source, target, bar);
    } catch (const rtl::EFileError& e) {
        return e.what();
    }
    return "(no error)";
}

// The copy's own calls, by kind: the kernel copy is made to fail for good alongside, so that
// the plain reads and writes take over and their failures can be placed.
rtl::TFault CopyFault(TFsOp op, std::uint64_t nth, int error) {
    if (op == TFsOp::Read || op == TFsOp::Write) return FaultAt(OpBit(TFsOp::CopyRange) | OpBit(op), nth + 1, error, {}, true);
    return FaultAt(OpBit(op), nth, error);
}

// Files in `dir` besides the ones expected: a failed copy must leave no temporary behind.
std::vector<std::string> Names(const std::string& dir) { return rtl::ListFiles(dir, "*"); }

class FileCopy : public ::testing::Test {
protected:
    test::TempDir source, target;
    // Several transfers long, and not a whole number of progress blocks.
    std::string content = Pattern(2 * database::CopyTransferSize + 3 * database::CopyBlockSize + 100);
    std::string from = source.WriteFile("Hovory.db", content);
    std::string to = target / "Hovory.db";
};

TEST_F(FileCopy, CopiesContentsAndTheExactModificationTimeInBlocks) {
    ASSERT_TRUE(rtl::SetFileModificationTime(from, rtl::TFileTime{1'300'000'000, 123'456'789}));
    test::TRecordingProgress bar;
    CopyOneFile(from, to, &bar);
    EXPECT_TRUE(ReadAll(to) == content);
    EXPECT_EQ(*rtl::GetFileModificationTime(to), (rtl::TFileTime{1'300'000'000, 123'456'789}));
    EXPECT_EQ(bar.maxima, (std::vector<int>{static_cast<int>(content.size())}));
    // 0 at the start, after every 8192-byte block, after the short last block, 0 at the end.
    std::vector<int> expected{0};
    for (std::size_t done = 8192; done <= content.size(); done += 8192) expected.push_back(static_cast<int>(done));
    expected.push_back(static_cast<int>(content.size()));
    expected.push_back(0);
    EXPECT_EQ(bar.positions, expected);
    EXPECT_EQ(Names(target.Path()), (std::vector<std::string>{"Hovory.db"}));
}

// A kernel copy that gives up halfway hands over to plain reads and writes from where it
// stopped: not a byte lost or doubled.
TEST_F(FileCopy, AKernelCopyFailingHalfwayIsFinishedByPlainReadsAndWrites) {
    TScopedFault kernelCopyFails(FaultAt(OpBit(TFsOp::CopyRange), 2, EIO));
    test::TRecordingProgress bar;
    CopyOneFile(from, to, &bar);
    EXPECT_TRUE(kernelCopyFails.fs.Struck());
    EXPECT_TRUE(ReadAll(to) == content);
    EXPECT_EQ(bar.positions.back(), 0);
    EXPECT_EQ(bar.positions[bar.positions.size() - 2], static_cast<int>(content.size()));
}

TEST_F(FileCopy, ReplacesAnExistingTargetKeepingItsPermissions) {
    target.WriteFile("Hovory.db", std::string(100000, 'o'));
    ::chmod(to.c_str(), 0640);
    CopyOneFile(from, to, nullptr);
    EXPECT_TRUE(ReadAll(to) == content);
    struct stat st {};
    ::stat(to.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FileCopy, CreatesMissingTargetDirectories) {
    CopyOneFile(from, target / "a/b/Hovory.db", nullptr);
    EXPECT_TRUE(ReadAll(target / "a/b/Hovory.db") == content);
}

// Each failure names the file it struck, and why: in a backup of many tables a bare
// "Stream write error" would not say which file, nor that the disk is full.
TEST_F(FileCopy, ReportsTheFixedTextsOfEachFailureNamingTheFileAndWhy) {
    auto errorWith = [&](const rtl::TFault& fault) {
        TScopedFault scoped(fault);
        const std::string error = CopyError(from, to);
        EXPECT_TRUE(scoped.fs.Struck()) << error;
        return error;
    };
    EXPECT_EQ(errorWith(CopyFault(TFsOp::OpenRead, 1, EIO)), "Cannot open file " + from + " (Input/output error)");
    EXPECT_EQ(CopyError(source / "missing.db", to),
              "Cannot open file " + source / "missing.db" + " (No such file or directory)");
    EXPECT_EQ(errorWith(CopyFault(TFsOp::OpenWrite, 1, EROFS)), "Cannot create file " + to + " (Read-only file system)");
    EXPECT_EQ(errorWith(CopyFault(TFsOp::Read, 2, EIO)), "Stream read error: " + from + " (Input/output error)");
    EXPECT_EQ(errorWith(CopyFault(TFsOp::Write, 2, ENOSPC)), "Stream write error: " + to + " (No space left on device)");
    EXPECT_EQ(errorWith(CopyFault(TFsOp::Sync, 1, ENOSPC)), "Stream write error: " + to + " (No space left on device)");
    // The first close is the target's.
    EXPECT_EQ(errorWith(CopyFault(TFsOp::Close, 1, EIO)), "Stream write error: " + to + " (Input/output error)");
    EXPECT_EQ(errorWith(CopyFault(TFsOp::Rename, 1, EACCES)), "Cannot create file " + to + " (Permission denied)");
    EXPECT_EQ(errorWith(CopyFault(TFsOp::SyncDirectory, 1, EIO)),
              "Stream write error: " + target.Path() + " (Input/output error)");
    std::remove(to.c_str());
    EXPECT_TRUE(Names(target.Path()).empty()) << "a failed copy left a file behind";
}

// Whatever step fails, the old target is exactly as it was and no partial copy remains.
TEST_F(FileCopy, AFailureAtAnyStepLeavesTheOldTargetIntact) {
    const std::string old = std::string(50000, 'o');
    for (const TFsOp op : {TFsOp::OpenRead, TFsOp::OpenWrite, TFsOp::Read, TFsOp::Write, TFsOp::Sync, TFsOp::Close,
                          TFsOp::Rename}) {
        target.WriteFile("Hovory.db", old);
        ASSERT_TRUE(rtl::SetFileModificationTime(to, rtl::TFileTime{1'000'000'000, 0}));
        {
            TScopedFault scoped(CopyFault(op, op == TFsOp::Read || op == TFsOp::Write ? 2 : 1, EIO));
            EXPECT_NE(CopyError(from, to), "(no error)") << rtl::FsOpName(op);
        }
        EXPECT_TRUE(ReadAll(to) == old) << rtl::FsOpName(op);
        EXPECT_EQ(*rtl::GetFileModificationTime(to), (rtl::TFileTime{1'000'000'000, 0}));
        EXPECT_EQ(Names(target.Path()), (std::vector<std::string>{"Hovory.db"})) << rtl::FsOpName(op);
    }
}

// A set of files is made durable by one flush of the target directory after the last
// rename; that flush failing fails the copy, and a copy failing halfway still flushes the
// renames made before it.
TEST_F(FileCopy, ASetFlushesItsDirectoryOnceAndReportsThatFlushFailing) {
    source.WriteFile("Brany.db", "gates");
    {
        TScopedFault counting(rtl::TFault{});
        EXPECT_EQ(database::CopyFileSet(source / "*.db", target.Path(), database::CopyModeReplace, nullptr), 2);
        EXPECT_EQ(counting.fs.Calls(TFsOp::SyncDirectory), 1u);
    }
    try {
        TScopedFault cannotFlush(FaultAt(OpBit(TFsOp::SyncDirectory), 1, EIO));
        database::CopyFileSet(source / "*.db", target.Path(), database::CopyModeReplace, nullptr);
        ADD_FAILURE() << "a failed directory flush was reported as success";
    } catch (const rtl::EFileError& e) {
        EXPECT_EQ(e.what(), "Stream write error: " + target.Path() + " (Input/output error)");
    }
    TScopedFault secondUnreadable(FaultAt(OpBit(TFsOp::OpenRead), 1, EIO, source / "Hovory.db"));
    EXPECT_THROW(database::CopyFileSet(source / "*.db", target.Path(), database::CopyModeReplace, nullptr),
                 rtl::EFileError);
    EXPECT_EQ(secondUnreadable.fs.Calls(TFsOp::SyncDirectory), 1u);
}

// The source's status and the target's presence are asked through the seam: either failing
// fails the copy, and the old target stays (a source of unknown size is not copied on trust,
// a target that may be there is not replaced blindly).
TEST_F(FileCopy, AStatusThatCannotBeReadFailsTheCopyAndKeepsTheTarget) {
    target.WriteFile("Hovory.db", "old");
    {
        TScopedFault sourceUnknown(FaultAt(OpBit(TFsOp::Stat), 1, EIO, from));
        EXPECT_EQ(CopyError(from, to), "Cannot open file " + from + " (Input/output error)");
        EXPECT_TRUE(sourceUnknown.fs.Struck());
    }
    {
        TScopedFault targetUnknown(FaultAt(OpBit(TFsOp::Stat), 1, EIO, to));
        EXPECT_EQ(CopyError(from, to), "Cannot create file " + to + " (Input/output error)");
        EXPECT_TRUE(targetUnknown.fs.Struck());
    }
    EXPECT_EQ(ReadAll(to), "old");
    EXPECT_EQ(Names(target.Path()), (std::vector<std::string>{"Hovory.db"}));
}

// A read-only target refuses to be replaced, as it would refuse to be overwritten.
TEST_F(FileCopy, ARefusedTargetIsReportedAndKept) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    target.WriteFile("Hovory.db", "old");
    ::chmod(to.c_str(), 0444);
    EXPECT_EQ(CopyError(from, to), "Cannot create file " + to + " (Permission denied)");
    EXPECT_EQ(ReadAll(to), "old");
}

// The device that is always full: the copy's temporary file is /dev/full, a real ENOSPC from
// the kernel at the first write.
class TFullDevice : public rtl::TFileSystem {
public:
    int Open(const std::string& path, int flags, mode_t mode) override {
        if (path.find(".tablora-copy-") == std::string::npos) return rtl::TFileSystem::Open(path, flags, mode);
        return rtl::TFileSystem::Open("/dev/full", O_WRONLY, 0);
    }
};

TEST_F(FileCopy, AFullDeviceFailsTheCopyClearly) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    target.WriteFile("Hovory.db", "old");
    TFullDevice full;
    const rtl::TScopedFileSystem installed(full);
    EXPECT_EQ(CopyError(from, to), "Stream write error: " + to + " (No space left on device)");
    EXPECT_EQ(ReadAll(to), "old");
}

// A real small file system that fills up in the middle of the copy.
TEST_F(FileCopy, AFullDiskFailsTheCopyAndKeepsTheOldFile) {
    test::TempDir mountPoint;
    if (::mount("tablora-test", mountPoint.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const std::string old = std::string(20000, 'o');
    const std::string onDisk = mountPoint.WriteFile("Hovory.db", old);
    const std::string big = source.WriteFile("Big.db", Pattern(200000));
    const std::string error = CopyError(big, onDisk);
    const std::string after = ReadAll(onDisk);
    const auto names = Names(mountPoint.Path());
    ::umount(mountPoint.Path().c_str());
    EXPECT_EQ(error, "Stream write error: " + onDisk + " (No space left on device)");
    EXPECT_TRUE(after == old);
    EXPECT_EQ(names, (std::vector<std::string>{"Hovory.db"}));
}

TEST(ByteProgress, ScalesFilesBeyondTheBarsRangeAndNeverPassesItsEnd) {
    test::TRecordingProgress bar;
    const std::uint64_t size = 5ull * 1024 * 1024 * 1024 + 7;  // 5 GiB
    database::TByteProgress progress(&bar, size);
    progress.Start();
    ASSERT_EQ(bar.maxima.size(), 1u);
    EXPECT_GT(bar.Max(), INT_MAX / 2);
    progress.Advance(size / 2);
    EXPECT_NEAR(bar.Position(), bar.Max() / 2, 1);
    progress.Advance(size);
    EXPECT_EQ(bar.Position(), bar.Max());
    progress.Advance(size + 100000);  // the file grew while it was copied
    EXPECT_EQ(bar.Position(), bar.Max());

    database::TByteProgress small(&bar, 1000);
    small.Start();
    EXPECT_EQ(bar.Max(), 1000);
    EXPECT_EQ(bar.Min(), 0);
}

} // namespace
