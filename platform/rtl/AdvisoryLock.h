// Advisory locks between our own processes (the window, any number of CLI and pdx runs):
// one writer per table, one operation per database directory. A lock is flock(2) on the
// locked object itself (the directory, or the table's data file), so no lock file is left
// in the user's directories and a killed process releases what it held. (On Windows the
// lock is LockFileEx on one byte past any data; a directory's is taken on a file named by
// the directory's identity in the machine's program-data folder, see FileSystemWin32.cpp.)
//
// A second process waits a bounded time, then fails with ELockBusy naming the holder (its
// process id and program, read from /proc/locks). Inside one process the locks are
// re-entrant: an operation that holds its database directory may let the engine lock the
// same directory again for a family rename. A lock held shared and asked for exclusive
// becomes exclusive when no other process shares it, else waits like a second process and
// fails the same way, still held shared. A lock held exclusive and asked for shared stays
// exclusive. Either way it keeps the strongest kind asked for until its last handle goes.
#pragma once

#include "platform/rtl/Error.h"

#include <cstdint>

#include <functional>
#include <string>

namespace rtl {

enum class TLockKind { Shared, Exclusive };

class ELockBusy : public EError {
public:
    using EError::EError;
};

class TAdvisoryLock {
public:
    TAdvisoryLock() = default;
    ~TAdvisoryLock() { Release(); }
    TAdvisoryLock(TAdvisoryLock&& other) noexcept;
    TAdvisoryLock& operator=(TAdvisoryLock&& other) noexcept;
    TAdvisoryLock(const TAdvisoryLock&) = delete;
    TAdvisoryLock& operator=(const TAdvisoryLock&) = delete;

    // Locks the directory or file at `path`. A file that another process replaces by rename
    // while we wait is locked as it stands once we hold it. `what` names the object in the
    // error ("table \"Hovory\"", "database directory \"/srv/db\""). `waitMs` < 0 takes
    // DefaultLockWaitMs(). Raises ELockBusy when the wait runs out, EFileError when the
    // object cannot be opened.
    static TAdvisoryLock Acquire(const std::string& path, TLockKind kind, const std::string& what, int waitMs = -1);

    // Also holds the file at `path` (a replacement about to be renamed over the locked one),
    // so that nobody takes the new file before this lock is released. Raises EFileError.
    void AlsoHold(const std::string& path);

    bool Held() const { return key_.Inode != 0; }
    void Release();

private:
    struct TKey {
        std::uint64_t Device = 0;
        std::uint64_t Inode = 0;
    };
    TKey key_;
    TKey extra_;
};

// The bounded wait: TABLORA_LOCK_WAIT_MS when set, else 30 seconds.
int DefaultLockWaitMs();

// How a wait step passes time. The default sleeps; the window installs one that keeps
// painting, tests one that returns at once (so a busy lock fails without real waiting).
void SetLockWaitFunction(std::function<void(int milliseconds)> wait);

// Told when a lock has to be waited for and when that wait ends (the lock held or the wait
// given up), so that a window can show that it waits. `text` says so in the process
// language, naming the other run. One process-wide notice; none by default.
using TLockWaitNotice = std::function<void(bool waiting, const std::string& text)>;
void SetLockWaitNotice(TLockWaitNotice notice);

// The process holding a flock on that file: its id and program name ("" when unknown).
struct TLockHolder {
    std::string Pid;
    std::string Program;
};
TLockHolder FindLockHolder(std::uint64_t device, std::uint64_t inode);

// "process 1234 (tablora-cli)" (in the process language) for that holder, or "".
std::string DescribeLockHolder(std::uint64_t device, std::uint64_t inode);

} // namespace rtl
