// A file system that fails, or kills the process at, a chosen call: the Nth call of the
// chosen kinds returns -1 with a chosen errno (ENOSPC, EIO, EACCES, EROFS ...) or raises
// SIGKILL before it reaches the disk. Every other call goes to the real file system. Tests
// count the calls of a clean run first, then strike each one in turn.
//
// A process started with TABLORA_FS_FAULT set runs on one from its first file call, so
// that tests can strike inside real child processes (the CLI, pdx):
//   TABLORA_FS_FAULT="ops=write,rename;nth=3;errno=ENOSPC"   fail the 3rd write or rename
//   TABLORA_FS_FAULT="nth=7;kill"                            SIGKILL at the 7th mutating call
//   TABLORA_FS_FAULT="count=/tmp/n"                          only count; the total is written
//                                                            to /tmp/n when the process exits
//   TABLORA_FS_FAULT="ops=all;nth=40;errno=EIO;persist"      the 40th call of any kind fails,
//                                                            and every counted call after it
// Only builds configured with TABLORA_FAULT_INJECTION (test builds) carry this file and the
// hook; a release build ignores TABLORA_FS_FAULT.
// "ops" defaults to every call that changes the disk (open-write, write, copy-range, sync,
// rename, link, unlink, sync-dir, mkdir, metadata); "all" counts every kind, "stat" the
// status queries and access checks.
#pragma once

#include "platform/rtl/FileSystem.h"

#include <array>
#include <cstdint>
#include <string>

namespace rtl {

struct TFault {
    std::uint32_t Ops = 0;   // bit (1 << TFsOp) per kind that counts; 0: the mutating kinds
    std::uint64_t Nth = 0;   // the Nth counted call strikes (from 1); 0: none, only count
    int Error = 5;           // errno of the failed call (EIO)
    bool Kill = false;       // SIGKILL instead of failing
    std::string PathContains;  // only calls whose path contains this count (empty: all)
    bool Persistent = false;   // every counted call from the Nth on fails: a disk that stays full
};

// The kinds that change what is on the disk, and all kinds.
std::uint32_t MutatingOps();
std::uint32_t AllOps();
std::uint32_t OpBit(TFsOp op);

class TFaultInjectingFileSystem : public TFileSystem {
public:
    void Arm(const TFault& fault);
    void Disarm();  // counting goes on, nothing strikes
    void ResetCounts();

    // Calls counted under the armed fault's kinds so far.
    std::uint64_t Counted() const { return counted_; }
    // Calls of one kind so far, whatever is armed.
    std::uint64_t Calls(TFsOp op) const { return calls_[static_cast<std::size_t>(op)]; }
    bool Struck() const { return struck_; }
    // What the strike hit ("rename /db/.~Hovory.db.1.tmp -> /db/Hovory.db").
    const std::string& StruckAt() const { return struckAt_; }

    int Open(const std::string& path, int flags, TFileMode mode) override;
    ssize_t Read(int fd, void* buffer, std::size_t size) override;
    ssize_t ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) override;
    ssize_t Write(int fd, const void* buffer, std::size_t size) override;
    ssize_t WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) override;
    ssize_t CopyRange(int from, int to, std::size_t size) override;
    int Sync(int fd) override;
    int Close(int fd) override;
    int Rename(const std::string& from, const std::string& to) override;
    int RenameNoReplace(const std::string& from, const std::string& to) override;
    int RenameExchange(const std::string& a, const std::string& b) override;
    int Unlink(const std::string& path) override;
    int Link(const std::string& existing, const std::string& name) override;
    int SyncDirectory(const std::string& directory) override;
    int MakeDirectory(const std::string& path, TFileMode mode) override;
    int Truncate(int fd, std::uint64_t size) override;
    int ChangeMode(int fd, TFileMode mode) override;
    int ChangeOwner(int fd, TUserId owner, TGroupId group) override;
    int SetTimes(int fd, std::int64_t accessNs, std::int64_t modifyNs) override;
    int ListDirectory(const std::string& directory, std::vector<TDirEntry>& entries) override;
    int Lock(int fd, int operation) override;
    int Stat(const std::string& path, TFileStatus& status) override;
    int Lstat(const std::string& path, TFileStatus& status) override;
    int Fstat(int fd, TFileStatus& status) override;
    int Access(const std::string& path, unsigned access) override;
    int FreeSpace(const std::string& path, std::uint64_t& bytes) override;

private:
    // True when this call must fail (errno is set); never returns when it kills.
    bool Strike(TFsOp op, const std::string& what);
    std::string PathOf(int fd) const;

    TFault fault_;
    std::uint64_t counted_ = 0;
    std::array<std::uint64_t, static_cast<std::size_t>(TFsOp::Count)> calls_{};
    bool struck_ = false;
    std::string struckAt_;
};

// The fault-injecting file system described by TABLORA_FS_FAULT, or nullptr when unset.
// Raises nothing: a malformed value is reported on standard error and ignored.
TFileSystem* FaultInjectionFromEnvironment();

// Parses a TABLORA_FS_FAULT value; false (with `error` set) when it is malformed.
bool ParseFault(const std::string& text, TFault& fault, std::string& countFile, std::string& error);

} // namespace rtl
