#include "platform/rtl/AdvisoryLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

using rtl::TLockKind;
using rtl::TAdvisoryLock;

// Waits pass no real time, so a busy lock fails at once.
struct InstantWaits {
    int Waited = 0;
    InstantWaits() {
        rtl::SetLockWaitFunction([this](int ms) { Waited += ms; });
    }
    ~InstantWaits() { rtl::SetLockWaitFunction(nullptr); }
};

// A child process that takes a lock, reports it through a pipe and holds it until told.
class LockHolder {
public:
    LockHolder(const std::string& path, TLockKind kind) {
        if (::pipe(ready_) != 0 || ::pipe(release_) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            TAdvisoryLock lock = TAdvisoryLock::Acquire(path, kind, "test object", 0);
            char c = 'x';
            if (::write(ready_[1], &c, 1) != 1) ::_exit(2);
            if (::read(release_[0], &c, 1) < 0) ::_exit(3);
            ::_exit(0);
        }
        char c;
        if (::read(ready_[0], &c, 1) != 1) throw std::runtime_error("holder did not start");
    }
    ~LockHolder() {
        Release();
        for (int fd : {ready_[0], ready_[1], release_[0], release_[1]}) ::close(fd);
    }
    pid_t Pid() const { return pid_; }
    void Release() {
        if (pid_ <= 0) return;
        char c = 'x';
        if (::write(release_[1], &c, 1) != 1) ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
    }

private:
    int ready_[2]{};
    int release_[2]{};
    pid_t pid_ = 0;
};

TEST(AdvisoryLock, SecondProcessWaitsItsBoundThenNamesTheHolder) {
    test::TempDir dir;
    InstantWaits waits;
    LockHolder holder(dir.Path(), TLockKind::Exclusive);
    try {
        TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "database directory", 500);
        FAIL() << "the lock was taken while another process held it";
    } catch (const rtl::ELockBusy& e) {
        EXPECT_NE(e.Message().find("database directory"), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("process " + std::to_string(holder.Pid())), std::string::npos) << e.Message();
    }
    EXPECT_EQ(waits.Waited, 500);
    // Shared is refused too while the holder is exclusive.
    EXPECT_THROW(TAdvisoryLock::Acquire(dir.Path(), TLockKind::Shared, "x", 0), rtl::ELockBusy);
    holder.Release();
    TAdvisoryLock lock = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "database directory", 0);
    EXPECT_TRUE(lock.Held());
}

TEST(AdvisoryLock, SharedHoldersAdmitEachOtherButNotAWriter) {
    test::TempDir dir;
    InstantWaits waits;
    LockHolder reader(dir.Path(), TLockKind::Shared);
    TAdvisoryLock mine = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Shared, "x", 0);
    EXPECT_TRUE(mine.Held());
    mine.Release();
    EXPECT_THROW(TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 100), rtl::ELockBusy);
}

TEST(AdvisoryLock, ReentrantInsideOneProcessAndReleasedWithTheLastHandle) {
    test::TempDir dir;
    InstantWaits waits;
    TAdvisoryLock outer = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 0);
    {
        TAdvisoryLock inner = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 0);
        TAdvisoryLock moved = std::move(inner);
        EXPECT_TRUE(moved.Held());
        EXPECT_FALSE(inner.Held());
    }
    // Still held by `outer`: a child cannot take it.
    pid_t child = ::fork();
    if (child == 0) {
        try {
            TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 0);
            ::_exit(1);
        } catch (const rtl::ELockBusy&) {
            ::_exit(0);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the inner release dropped the outer lock";
    outer.Release();
    child = ::fork();
    if (child == 0) {
        try {
            TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 0);
            ::_exit(0);
        } catch (...) {
            ::_exit(1);
        }
    }
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the last release did not free the lock";
}

TEST(AdvisoryLock, AFileReplacedByRenameIsLockedAsItStandsAndTheReplacementIsHeld) {
    test::TempDir dir;
    InstantWaits waits;
    const std::string table = dir.WriteFile("Hovory.db", "old");
    TAdvisoryLock lock = TAdvisoryLock::Acquire(table, TLockKind::Exclusive, "table", 0);
    const std::string replacement = dir.WriteFile(".~Hovory.db.tmp", "new");
    lock.AlsoHold(replacement);
    std::filesystem::rename(replacement, table);
    // Another process finds the new file held too until the writer lets go.
    pid_t child = ::fork();
    if (child == 0) {
        try {
            TAdvisoryLock::Acquire(table, TLockKind::Exclusive, "table", 0);
            ::_exit(1);
        } catch (const rtl::ELockBusy&) {
            ::_exit(0);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    lock.Release();
    TAdvisoryLock again = TAdvisoryLock::Acquire(table, TLockKind::Exclusive, "table", 0);
    EXPECT_TRUE(again.Held());
}

// Whether another process could take the lock at `path` as `kind` right now.
bool AnotherProcessCanTake(const std::string& path, TLockKind kind) {
    const pid_t child = ::fork();
    if (child == 0) {
        rtl::SetLockWaitFunction([](int) {});
        try {
            TAdvisoryLock::Acquire(path, kind, "x", 0);
            ::_exit(0);
        } catch (const rtl::ELockBusy&) {
            ::_exit(1);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) < 2) << "the child could not try the lock";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A holder of a shared lock asking for it exclusive: granted while it is the only holder;
// while another process shares it, refused after the bounded wait, and the shared lock it
// had is still its own (flock drops the old lock before it tries the new one).
TEST(AdvisoryLock, ASharedHolderAskingExclusiveGetsItAloneAndKeepsItsSharedLockWhenRefused) {
    test::TempDir dir;
    InstantWaits waits;
    {
        TAdvisoryLock shared = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Shared, "x", 0);
        EXPECT_TRUE(AnotherProcessCanTake(dir.Path(), TLockKind::Shared));
        TAdvisoryLock exclusive = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 0);
        EXPECT_FALSE(AnotherProcessCanTake(dir.Path(), TLockKind::Shared));
    }
    EXPECT_TRUE(AnotherProcessCanTake(dir.Path(), TLockKind::Exclusive));

    TAdvisoryLock shared = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Shared, "x", 0);
    LockHolder reader(dir.Path(), TLockKind::Shared);
    EXPECT_THROW(TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 200), rtl::ELockBusy);
    reader.Release();
    EXPECT_FALSE(AnotherProcessCanTake(dir.Path(), TLockKind::Exclusive)) << "the refused upgrade let the shared lock go";
    EXPECT_TRUE(AnotherProcessCanTake(dir.Path(), TLockKind::Shared));
    shared.Release();
    EXPECT_TRUE(AnotherProcessCanTake(dir.Path(), TLockKind::Exclusive));
}

// The reverse: an exclusive holder asking for it shared keeps it exclusive, as long as any
// handle of this process holds it, whichever goes first.
TEST(AdvisoryLock, AnExclusiveHolderAskingSharedKeepsItExclusiveUntilTheLastHandleGoes) {
    test::TempDir dir;
    InstantWaits waits;
    TAdvisoryLock exclusive = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Exclusive, "x", 0);
    TAdvisoryLock shared = TAdvisoryLock::Acquire(dir.Path(), TLockKind::Shared, "x", 0);
    EXPECT_TRUE(shared.Held());
    EXPECT_FALSE(AnotherProcessCanTake(dir.Path(), TLockKind::Shared));
    exclusive.Release();
    EXPECT_FALSE(AnotherProcessCanTake(dir.Path(), TLockKind::Shared));
    shared.Release();
    EXPECT_TRUE(AnotherProcessCanTake(dir.Path(), TLockKind::Exclusive));
}

TEST(AdvisoryLock, AMissingObjectIsAFileErrorNotABusyLock) {
    test::TempDir dir;
    EXPECT_THROW(TAdvisoryLock::Acquire(dir / "missing", TLockKind::Exclusive, "x", 0), rtl::EFileError);
}

} // namespace
