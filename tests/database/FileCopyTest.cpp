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
using database::TCopyFileSystem;
using test::ReadAll;
using Step = test::TFailingFileSystem::Step;

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 8192) & 0xFF);
    return s;
}

std::string CopyError(const std::string& source, const std::string& target, TCopyFileSystem& fs,
                      ui::IProgressTarget* bar = nullptr) {
    try {
        CopyOneFile(source, target, bar, fs);
    } catch (const rtl::EFileError& e) {
        return e.what();
    }
    return "(no error)";
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
    ASSERT_TRUE(rtl::SetFileModificationTime(from, rtl::FileTime{1'300'000'000, 123'456'789}));
    test::TRecordingProgress bar;
    CopyOneFile(from, to, &bar, TCopyFileSystem::Real());
    EXPECT_TRUE(ReadAll(to) == content);
    EXPECT_EQ(*rtl::GetFileModificationTime(to), (rtl::FileTime{1'300'000'000, 123'456'789}));
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
    test::TFailingFileSystem kernelCopyFails(Step::CopyRange, 2, EIO);
    test::TRecordingProgress bar;
    CopyOneFile(from, to, &bar, kernelCopyFails);
    EXPECT_TRUE(ReadAll(to) == content);
    EXPECT_EQ(bar.positions.back(), 0);
    EXPECT_EQ(bar.positions[bar.positions.size() - 2], static_cast<int>(content.size()));
}

TEST_F(FileCopy, ReplacesAnExistingTargetKeepingItsPermissions) {
    target.WriteFile("Hovory.db", std::string(100000, 'o'));
    ::chmod(to.c_str(), 0640);
    CopyOneFile(from, to, nullptr, TCopyFileSystem::Real());
    EXPECT_TRUE(ReadAll(to) == content);
    struct stat st {};
    ::stat(to.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FileCopy, CreatesMissingTargetDirectories) {
    CopyOneFile(from, target / "a/b/Hovory.db", nullptr, TCopyFileSystem::Real());
    EXPECT_TRUE(ReadAll(target / "a/b/Hovory.db") == content);
}

// Each failure names the file it struck, and why: in a backup of many tables a bare
// "Stream write error" would not say which file, nor that the disk is full.
TEST_F(FileCopy, ReportsTheFixedTextsOfEachFailureNamingTheFile) {
    test::TFailingFileSystem cannotOpen(Step::OpenForReading, 1);
    EXPECT_EQ(CopyError(from, to, cannotOpen), "Cannot open file " + from);
    EXPECT_EQ(CopyError(source / "missing.db", to, TCopyFileSystem::Real()), "Cannot open file " + source / "missing.db");
    test::TFailingFileSystem cannotCreate(Step::CreateUnique, 1);
    EXPECT_EQ(CopyError(from, to, cannotCreate), "Cannot create file " + to);
    test::TFailingFileSystem cannotRead(Step::Read, 2);
    EXPECT_EQ(CopyError(from, to, cannotRead), "Stream read error: " + from + " (Input/output error)");
    test::TFailingFileSystem cannotWrite(Step::Write, 2, ENOSPC);
    EXPECT_EQ(CopyError(from, to, cannotWrite), "Stream write error: " + to + " (No space left on device)");
    test::TFailingFileSystem cannotSync(Step::Sync, 1, ENOSPC);
    EXPECT_EQ(CopyError(from, to, cannotSync), "Stream write error: " + to + " (No space left on device)");
    test::TFailingFileSystem cannotClose(Step::Close, 1, EIO);  // the first close is the target's
    EXPECT_EQ(CopyError(from, to, cannotClose), "Stream write error: " + to + " (Input/output error)");
    test::TFailingFileSystem cannotRename(Step::Rename, 1);
    EXPECT_EQ(CopyError(from, to, cannotRename), "Cannot create file " + to);
    test::TFailingFileSystem cannotFlushDirectory(Step::SyncDirectory, 1);
    EXPECT_EQ(CopyError(from, to, cannotFlushDirectory), "Stream write error: " + target.Path() + " (Input/output error)");
    std::remove(to.c_str());
    EXPECT_TRUE(Names(target.Path()).empty()) << "a failed copy left a file behind";
}

// Whatever step fails, the old target is exactly as it was and no partial copy remains.
TEST_F(FileCopy, AFailureAtAnyStepLeavesTheOldTargetIntact) {
    const std::string old = std::string(50000, 'o');
    for (const Step step : {Step::OpenForReading, Step::CreateUnique, Step::Read, Step::Write, Step::Sync,
                            Step::Close, Step::Rename}) {
        target.WriteFile("Hovory.db", old);
        ASSERT_TRUE(rtl::SetFileModificationTime(to, rtl::FileTime{1'000'000'000, 0}));
        test::TFailingFileSystem fs(step, step == Step::Read || step == Step::Write ? 2 : 1);
        EXPECT_NE(CopyError(from, to, fs), "(no error)");
        EXPECT_TRUE(ReadAll(to) == old) << "step " << static_cast<int>(step);
        EXPECT_EQ(*rtl::GetFileModificationTime(to), (rtl::FileTime{1'000'000'000, 0}));
        EXPECT_EQ(Names(target.Path()), (std::vector<std::string>{"Hovory.db"})) << "step " << static_cast<int>(step);
    }
}

// A set of files is made durable by one flush of the target directory after the last
// rename; that flush failing fails the copy, and a copy failing halfway still flushes the
// renames made before it.
TEST_F(FileCopy, ASetFlushesItsDirectoryOnceAndReportsThatFlushFailing) {
    source.WriteFile("Brany.db", "gates");
    test::TFailingFileSystem counting(Step::SyncDirectory, 0);
    EXPECT_EQ(database::CopyFileSet(source / "*.db", target.Path(), database::CopyModeReplace, nullptr, counting), 2);
    EXPECT_EQ(counting.directorySyncs, 1);
    test::TFailingFileSystem cannotFlush(Step::SyncDirectory, 1);
    try {
        database::CopyFileSet(source / "*.db", target.Path(), database::CopyModeReplace, nullptr, cannotFlush);
        ADD_FAILURE() << "a failed directory flush was reported as success";
    } catch (const rtl::EFileError& e) {
        EXPECT_EQ(e.what(), "Stream write error: " + target.Path() + " (Input/output error)");
    }
    test::TFailingFileSystem secondUnreadable(Step::OpenForReading, 2);
    EXPECT_THROW(database::CopyFileSet(source / "*.db", target.Path(), database::CopyModeReplace, nullptr,
                                       secondUnreadable),
                 rtl::EFileError);
    EXPECT_EQ(secondUnreadable.directorySyncs, 1);
}

// A read-only target refuses to be replaced, as it would refuse to be overwritten.
TEST_F(FileCopy, ARefusedTargetIsReportedAndKept) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    target.WriteFile("Hovory.db", "old");
    ::chmod(to.c_str(), 0444);
    EXPECT_EQ(CopyError(from, to, TCopyFileSystem::Real()), "Cannot create file " + to);
    EXPECT_EQ(ReadAll(to), "old");
}

// The device that is always full: a real ENOSPC from the kernel at the first write.
class FullDevice : public TCopyFileSystem {
public:
    int CreateUnique(std::string&, int) override { return ::open("/dev/full", O_WRONLY | O_CLOEXEC); }
};

TEST_F(FileCopy, AFullDeviceFailsTheCopyClearly) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    target.WriteFile("Hovory.db", "old");
    FullDevice full;
    EXPECT_EQ(CopyError(from, to, full), "Stream write error: " + to + " (No space left on device)");
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
    const std::string error = CopyError(big, onDisk, TCopyFileSystem::Real());
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
