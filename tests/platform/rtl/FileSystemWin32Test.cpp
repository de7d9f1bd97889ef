// What the file-system seam must do on Windows beyond the POSIX contract: let the billing
// application at its files while we hold them, move over existing files or refuse to, lock
// without stopping anyone's reads, keep times to 100 ns, take long and Slovak names, and
// find a table's family whatever the letter case of its files.
#include "platform/rtl/ExistingNames.h"
#include "platform/rtl/FileIo.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/FileTimes.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Win32Path.h"
#include "platform/rtl/WindowsHeaders.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

rtl::TFileSystem& Fs() { return rtl::FileSystem(); }

void Write(const std::string& path, const std::string& content) {
    rtl::TFileDescriptor fd(Fs().Open(path, O_WRONLY | O_CREAT | O_TRUNC));
    ASSERT_TRUE(fd.Valid()) << path << ": " << errno;
    ASSERT_TRUE(rtl::WriteAll(fd.Get(), content.data(), content.size()));
}

std::string Read(const std::string& path) {
    std::string content;
    return rtl::ReadWholeFile(path, content) ? content : "<unreadable " + std::to_string(errno) + ">";
}

// Another program's handle, as the billing application opens its tables: reading and
// writing, letting others read and write but not delete.
HANDLE OtherProgramOpens(const std::string& path, DWORD access) {
    std::wstring wide;
    if (!rtl::LongPath(path, wide)) return INVALID_HANDLE_VALUE;
    return ::CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The first bytes the other program reads through its own handle; "<refused N>" when it
// cannot open the file (N: the Win32 error), "<unread N>" when it cannot read.
std::string OtherProgramReads(const std::string& path, DWORD access, DWORD size) {
    const HANDLE other = OtherProgramOpens(path, access);
    if (other == INVALID_HANDLE_VALUE) return "<refused " + std::to_string(::GetLastError()) + ">";
    std::string buffer(size, '\0');
    DWORD n = 0;
    const bool read = ::ReadFile(other, buffer.data(), size, &n, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseHandle(other);
    return read ? buffer.substr(0, n) : "<unread " + std::to_string(error) + ">";
}

TEST(FileSystemWin32, TheBillingApplicationReadsAndWritesWhileWeHoldItsTableAndWeStillRename) {
    test::TempDir dir;
    const std::string table = dir / "HOVORY.DB";
    Write(table, "rows");
    rtl::TFileDescriptor ours(Fs().Open(table, O_RDONLY));
    ASSERT_TRUE(ours.Valid());

    EXPECT_EQ(OtherProgramReads(table, GENERIC_READ | GENERIC_WRITE, 4), "rows")
        << "our read handle shuts the other program out";

    rtl::TFileDescriptor writer(Fs().Open(table, O_RDWR));
    ASSERT_TRUE(writer.Valid()) << "a second handle of our own: " << errno;
    EXPECT_EQ(Fs().Rename(table, dir / "HOVORY.old"), 0) << "a table we hold open cannot be renamed: " << errno;
}

TEST(FileSystemWin32, RenameReplacesAnExistingFileAndRenameNoReplaceRefuses) {
    test::TempDir dir;
    Write(dir / "new.db", "new");
    Write(dir / "live.db", "old");
    Write(dir / "other.db", "other");

    errno = 0;
    EXPECT_EQ(Fs().RenameNoReplace(dir / "other.db", dir / "live.db"), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Read(dir / "live.db"), "old");
    EXPECT_EQ(Read(dir / "other.db"), "other");

    ASSERT_EQ(Fs().Rename(dir / "new.db", dir / "live.db"), 0) << errno;
    EXPECT_EQ(Read(dir / "live.db"), "new");
    EXPECT_FALSE(rtl::FileExists(dir / "new.db"));

    EXPECT_EQ(Fs().RenameNoReplace(dir / "other.db", dir / "free.db"), 0);
    EXPECT_EQ(Read(dir / "free.db"), "other");
}

std::string ReadThrough(int fd) {
    char buffer[16] = {};
    const ssize_t n = Fs().ReadAt(fd, buffer, sizeof buffer, 0);
    return n < 0 ? "<unread " + std::to_string(errno) + ">" : std::string(buffer, static_cast<std::size_t>(n));
}

// The engine writes a changed table beside it and renames it in while it holds the table
// open and locked; a deleted name is free at once for the next file, as on POSIX. Where
// Windows has no POSIX-semantics rename (wine, older versions, network shares) the old file
// is moved aside first: nothing of it may stay in the directory once its handles close.
TEST(FileSystemWin32, ATableWeHoldOpenIsReplacedAndItsNameFreedAsOnPosix) {
    test::TempDir dir;
    const std::string table = dir / "Hovory.db";
    Write(table, "old");
    {
        rtl::TFileDescriptor held(Fs().Open(table, O_RDONLY));
        ASSERT_EQ(Fs().Lock(held.Get(), LOCK_EX | LOCK_NB), 0);
        Write(dir / "Hovory.new", "new");
        EXPECT_EQ(Fs().Rename(dir / "Hovory.new", table), 0) << errno;
        EXPECT_EQ(Read(table), "new");
        EXPECT_EQ(ReadThrough(held.Get()), "old") << "the handle keeps the file it opened";

        rtl::TFileDescriptor reader(Fs().Open(table, O_RDONLY));
        EXPECT_EQ(Fs().Unlink(table), 0) << errno;
        errno = 0;
        EXPECT_NE(Fs().Access(table, rtl::AccessExists), 0) << "the deleted name is still there";
        Write(table, "again");
        EXPECT_EQ(Read(table), "again");
        EXPECT_EQ(ReadThrough(reader.Get()), "new");
    }
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*"), Names{"Hovory.db"});
}

// When the new file cannot take the name after the old one went aside (another program
// holds it without letting it be deleted), the old file is put back under its name.
TEST(FileSystemWin32, AReplacementThatCannotFinishLeavesBothFilesWhereTheyWere) {
    test::TempDir dir;
    const std::string table = dir / "Hovory.db";
    Write(table, "old");
    Write(dir / "Hovory.new", "new");
    rtl::TFileDescriptor held(Fs().Open(table, O_RDONLY));
    const HANDLE other = OtherProgramOpens(dir / "Hovory.new", GENERIC_READ);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    errno = 0;
    EXPECT_EQ(Fs().Rename(dir / "Hovory.new", table), -1);
    EXPECT_EQ(errno, EBUSY) << "the other program's hold on the new file";
    ::CloseHandle(other);
    EXPECT_EQ(Read(table), "old");
    EXPECT_EQ(Read(dir / "Hovory.new"), "new");
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*"), (Names{"Hovory.db", "Hovory.new"}));
}

TEST(FileSystemWin32, SharedLocksCoexistAnExclusiveOneExcludesButNobodysReadsStop) {
    test::TempDir dir;
    const std::string table = dir / "Hovory.db";
    Write(table, "rows");
    rtl::TFileDescriptor a(Fs().Open(table, O_RDONLY)), b(Fs().Open(table, O_RDONLY));
    ASSERT_TRUE(a.Valid() && b.Valid());

    EXPECT_EQ(Fs().Lock(a.Get(), LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(Fs().Lock(b.Get(), LOCK_SH | LOCK_NB), 0);
    errno = 0;
    EXPECT_EQ(Fs().Lock(b.Get(), LOCK_EX | LOCK_NB), -1) << "exclusive beside a shared lock";
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(Fs().Lock(a.Get(), LOCK_UN), 0);
    EXPECT_EQ(Fs().Lock(b.Get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Fs().Lock(a.Get(), LOCK_SH | LOCK_NB), -1) << "shared beside an exclusive lock";

    // The lock is advisory to others: the billing application still reads every byte and
    // takes its own locks on the data (Windows' byte-range locks would stop it otherwise).
    EXPECT_EQ(OtherProgramReads(table, GENERIC_READ, 4), "rows");
    const HANDLE other = OtherProgramOpens(table, GENERIC_READ | GENERIC_WRITE);
    OVERLAPPED start{};
    EXPECT_TRUE(::LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 4096, 0, &start))
        << ::GetLastError();
    ::CloseHandle(other);

    b.Reset();  // closing lets the lock go, as a killed process does
    EXPECT_EQ(Fs().Lock(a.Get(), LOCK_EX | LOCK_NB), 0);
}

TEST(FileSystemWin32, ADirectoryIsLockedLikeAFile) {
    test::TempDir dir;
    rtl::TFileDescriptor a(Fs().Open(dir.Path(), O_RDONLY)), b(Fs().Open(dir.Path() + "\\.", O_RDONLY));
    ASSERT_TRUE(a.Valid() && b.Valid()) << errno;
    EXPECT_EQ(Fs().Lock(a.Get(), LOCK_EX | LOCK_NB), 0) << errno;
    EXPECT_EQ(Fs().Lock(b.Get(), LOCK_SH | LOCK_NB), -1) << "another name of a locked directory";
    EXPECT_EQ(Fs().Lock(a.Get(), LOCK_SH), 0);
    EXPECT_EQ(Fs().Lock(b.Get(), LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*"), Names{}) << "nothing is left in the locked directory";
}

// A file deleted while the billing application still holds it keeps its name until that
// handle goes, and cannot be opened meanwhile, not even for its attributes: a listing takes
// it from the directory's entry instead of failing.
TEST(FileSystemWin32, AListingBearsAFileWhoseDeletionWaits) {
    test::TempDir dir;
    Write(dir / "Hovory.db", "rows");
    Write(dir / "Hovory.px", "index");
    std::wstring wide;
    ASSERT_TRUE(rtl::LongPath(dir / "Hovory.px", wide));
    const HANDLE other = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Fs().Unlink(dir / "Hovory.px"), 0) << errno;
    EXPECT_NO_THROW(rtl::ListFiles(dir.Path(), "Hovory.*"));
    ::CloseHandle(other);
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "Hovory.*"), Names{"Hovory.db"});
}

TEST(FileSystemWin32, TimesRoundTripIn100NanosecondStepsAlsoBefore1970) {
    test::TempDir dir;
    const std::string f = dir / "Hovory.db";
    Write(f, "x");
    rtl::TFileDescriptor fd(Fs().Open(f, O_RDONLY));
    ASSERT_TRUE(fd.Valid());
    const std::int64_t cases[][2] = {{1234567890123456700, 1234567890123456700},
                                     {1234567890123456789, 1234567890123456700},
                                     {-1000000050, -1000000100}};
    for (const auto& [set, expected] : cases) {
        ASSERT_EQ(Fs().SetTimes(fd.Get(), rtl::OmitTime, set), 0);
        rtl::TFileStatus st;
        ASSERT_EQ(Fs().Fstat(fd.Get(), st), 0);
        EXPECT_EQ(st.ModifyNs, expected) << "set " << set;
    }
    EXPECT_EQ(rtl::GetFileModificationTime(f), (rtl::TFileTime{-2, 999999900}));
}

TEST(FileSystemWin32, APathLongerThan260CharactersWorks) {
    test::TempDir dir;
    std::string deep = dir.Path();
    while (deep.size() < 300) deep += "\\Zalohy_databazy_hovorov";
    ASSERT_TRUE(rtl::ForceDirectories(deep)) << errno;
    const std::string table = deep + "\\HOVORY.DB";
    Write(table, "rows");
    EXPECT_EQ(Read(table), "rows");
    EXPECT_EQ(rtl::ListFiles(deep, "*.db"), Names{"HOVORY.DB"});
    EXPECT_EQ(Fs().Rename(table, deep + "\\HOVORY.OLD"), 0) << errno;
    EXPECT_TRUE(rtl::DeleteFile(deep + "\\HOVORY.OLD"));
}

TEST(FileSystemWin32, ASlovakNameIsStoredAsItselfAndListedBack) {
    test::TempDir dir;
    const std::string name = "Čísla účtov ľudí.db";
    Write(dir / name, "x");
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*.db"), Names{name});
    EXPECT_TRUE(rtl::FileExists(dir / name));

    // Windows itself sees the name spelled so, not the UTF-8 bytes read as another code page.
    std::wstring pattern;
    ASSERT_TRUE(rtl::LongPath(dir / "*.db", pattern));
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(pattern.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::wstring(data.cFileName), L"\u010C\u00EDsla \u00FA\u010Dtov \u013Eud\u00ED.db");
    ::FindClose(find);
}

// NTFS matches names without regard to letter case: a family spelled in mixed case is one
// table, found by any spelling, and a file written under another spelling lands on it.
TEST(FileSystemWin32, AFamilyIsFoundWhateverTheCaseOfItsFiles) {
    test::TempDir dir;
    Write(dir / "HOVORY.DB", "data");
    Write(dir / "hovory.px", "index");
    Write(dir / "Hovory.Xg0", "secondary");
    Write(dir / "Hovory2.db", "another table");

    EXPECT_EQ(rtl::ListFiles(dir.Path(), "hovory.*"), (Names{"HOVORY.DB", "hovory.px", "Hovory.Xg0"}));
    EXPECT_EQ(rtl::ListFilesByPattern(dir / "HOVORY.PX"), Names{"hovory.px"});
    EXPECT_EQ(rtl::TExistingNames(dir.Path()).TargetName("Hovory.db"), "HOVORY.DB");

    Write(dir / "hovory.db", "new data");
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "*.db"), (Names{"HOVORY.DB", "Hovory2.db"})) << "no case twin appears";
    EXPECT_EQ(Read(dir / "HOVORY.DB"), "new data");
}

// NTFS folds accented letters too: "ÚČTY.DB" and "účty.px" are one family there.
TEST(FileSystemWin32, AFamilyWithAccentedLettersIsFoundWhateverTheirCase) {
    EXPECT_TRUE(rtl::MatchesMask("ÚČTY.DB", "účty.*"));
    EXPECT_TRUE(rtl::MatchesMask("Ďalšie Žiadosti.px", "ĎALŠIE žIADOSTI.PX"));
    EXPECT_FALSE(rtl::MatchesMask("účty.db", "ucty.db")) << "a letter is not its accentless one";
    EXPECT_EQ(rtl::FileNameKey("ÀÞ×ĹŸĲİ"), "àþ×ĺÿĳİ");

    test::TempDir dir;
    Write(dir / "ÚČTY.DB", "data");
    Write(dir / "účty.px", "index");
    Write(dir / "Účty2.db", "another table");
    EXPECT_EQ(rtl::ListFiles(dir.Path(), "Účty.*"), (Names{"ÚČTY.DB", "účty.px"}));
    EXPECT_EQ(rtl::TExistingNames(dir.Path()).TargetName("Účty.PX"), "účty.px");
}

TEST(FileSystemWin32, ReadAtLeavesTheOffsetAndErrorsReadAsTheirErrno) {
    test::TempDir dir;
    const std::string f = dir / "a.db";
    Write(f, "0123456789");
    rtl::TFileDescriptor fd(Fs().Open(f, O_RDONLY));
    char buffer[4] = {};
    ASSERT_EQ(Fs().Read(fd.Get(), buffer, 2), 2);
    ASSERT_EQ(Fs().ReadAt(fd.Get(), buffer, 3, 7), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    ASSERT_EQ(Fs().Read(fd.Get(), buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "23");
    EXPECT_EQ(Fs().ReadAt(fd.Get(), buffer, 3, 20), 0) << "past the end";

    errno = 0;
    EXPECT_EQ(Fs().Open(dir / "missing.db", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(Fs().Open(f, O_WRONLY | O_CREAT | O_EXCL), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Fs().Open(dir.Path(), O_WRONLY), -1);
    EXPECT_EQ(errno, EISDIR);
}

// Messages name a failure as they do on Linux, whatever Windows' C runtime calls it; "busy"
// is what Windows says of a file another program holds, and is told as that.
TEST(FileSystemWin32, FailuresReadAsOnLinux) {
    EXPECT_EQ(rtl::SystemReason(EROFS), "Read-only file system");
    EXPECT_EQ(rtl::SystemReason(EBUSY),
              "The file is in use by another program (the billing application, for example); close it and try again");
    EXPECT_EQ(rtl::SystemReason(ELOOP), "Too many levels of symbolic links");
    EXPECT_EQ(rtl::SystemReason(ENOSPC), "No space left on device");
}

// unlink(2) and rename(2) do not ask whether the file itself may be written; neither does the seam.
TEST(FileSystemWin32, AReadOnlyFileIsDeletedAndReplacedAsOnPosix) {
    test::TempDir dir;
    const std::string f = dir / "Brany.db";
    Write(f, "x");
    rtl::TFileDescriptor fd(Fs().Open(f, O_RDONLY));
    ASSERT_EQ(Fs().ChangeMode(fd.Get(), 0444), 0);
    fd.Reset();
    errno = 0;
    EXPECT_EQ(Fs().Access(f, rtl::AccessWrite), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(Fs().Unlink(f), 0) << errno;
    EXPECT_FALSE(rtl::FileExists(f));

    Write(f, "old");
    fd = rtl::TFileDescriptor(Fs().Open(f, O_RDONLY));
    ASSERT_EQ(Fs().ChangeMode(fd.Get(), 0444), 0);
    fd.Reset();
    Write(dir / "new.db", "new");
    EXPECT_EQ(Fs().Rename(dir / "new.db", f), 0) << "a rename over it replaces it: " << errno;
    EXPECT_EQ(Read(f), "new");
}

TEST(PathsWin32, BothSeparatorsReadAndRootsStayWhole) {
    EXPECT_EQ(rtl::ExtractFileName("C:\\data/Old\\Brany.DB"), "Brany.DB");
    EXPECT_EQ(rtl::ExtractFileDir("C:\\HOVORY.DB"), "C:\\");
    EXPECT_EQ(rtl::ExtractFileDir("C:/data/HOVORY.DB"), "C:/data");
    EXPECT_EQ(rtl::ExtractFileDir("\\\\server\\share\\HOVORY.DB"), "\\\\server\\share\\");
    EXPECT_EQ(rtl::ExtractFilePath("D:\\db\\x.db"), "D:\\db\\");
    EXPECT_EQ(rtl::WithTrailingSeparator("C:\\data"), "C:\\data\\");
    EXPECT_EQ(rtl::WithTrailingSeparator("C:/data/"), "C:/data/");
    EXPECT_EQ(rtl::ChangeFileExt("C:\\d.x\\Hovory", ".db"), "C:\\d.x\\Hovory.db");
}

} // namespace
