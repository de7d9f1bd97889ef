#include "platform/rtl/AdvisoryLock.h"

#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>
#include <utility>

namespace rtl {

namespace {

constexpr int WaitStepMs = 50;

struct TEntry {
    int Fd = -1;
    TLockKind Kind = TLockKind::Shared;
    int Refs = 0;
};

using TRegistryKey = std::pair<std::uint64_t, std::uint64_t>;

std::map<TRegistryKey, TEntry>& Registry();

// A forked child shares its parent's open lock descriptions but is another process: it
// holds nothing of its own until it locks for itself.
void ForgetLocksInChild() {
    // The system's own close: a file system a test installed is no part of the child.
    for (auto& [key, entry] : Registry()) FileSystem().TFileSystem::Close(entry.Fd);
    Registry().clear();
}

std::map<TRegistryKey, TEntry>& Registry() {
    static std::map<TRegistryKey, TEntry> registry;
    static const bool atFork = (ForgetInForkedChild(ForgetLocksInChild), true);
    (void)atFork;
    return registry;
}

std::function<void(int)>& WaitFunction() {
    static std::function<void(int)> wait;
    return wait;
}

TLockWaitNotice& WaitNotice() {
    static TLockWaitNotice notice;
    return notice;
}

// Tells the notice that a wait begins, and that it ended when this goes out of scope.
class TWaitAnnouncement {
public:
    TWaitAnnouncement() = default;
    ~TWaitAnnouncement() {
        if (!announced_ || !WaitNotice()) return;
        try {
            WaitNotice()(false, std::string());
        } catch (...) {
            // Also runs while a failed lock's error leaves: telling the end must not replace it.
        }
    }
    TWaitAnnouncement(const TWaitAnnouncement&) = delete;
    TWaitAnnouncement& operator=(const TWaitAnnouncement&) = delete;

    void Begin(const std::string& what, std::uint64_t device, std::uint64_t inode) {
        if (announced_ || !WaitNotice()) return;
        const TLockHolder holder = FindLockHolder(device, inode);
        // The program's name alone fits a status bar; the error after a vain wait says more.
        std::string other = !holder.Program.empty() ? holder.Program
                            : !holder.Pid.empty()   ? Format(TMsg::LockHolder, {holder.Pid})
                                                    : what;
        announced_ = true;
        WaitNotice()(true, Format(TMsg::LockWaitStatus, {other}));
    }

private:
    bool announced_ = false;
};

void Wait(int ms) {
    if (WaitFunction()) {
        WaitFunction()(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

[[noreturn]] void CannotOpen(const std::string& what, const std::string& path) {
    throw EFileError(Format(TMsg::LockCannotLock, {what, path, SystemReason(errno)}));
}

// flock makes a shared lock exclusive by dropping it first, also when the exclusive one is
// then refused; the holder takes it back at once. Only a writer that slipped into that
// instant can stop it, and then the lock is lost and the holder must hear so.
void TakeBackShared(int fd, const std::string& what, const std::string& path) {
    const int err = errno;
    if (FileSystem().Lock(fd, LOCK_SH | LOCK_NB) != 0) throw ELockBusy(Format(TMsg::LockLostOnUpgrade, {what, path}));
    errno = err;
}

// Takes a flock on `fd`, waiting in steps up to `waitMs`. False when the wait ran out. With
// `upgrade`, `fd` holds a shared lock that it keeps while it waits.
bool LockWithin(int fd, int operation, int waitMs, const std::string& what, const std::string& path, std::uint64_t device,
                std::uint64_t inode, bool upgrade = false) {
    int waited = 0;
    TWaitAnnouncement announcement;
    for (;;) {
        if (FileSystem().Lock(fd, operation | LOCK_NB) == 0) return true;
        if (upgrade) TakeBackShared(fd, what, path);
        if (errno != EWOULDBLOCK) CannotOpen(what, path);
        if (waited >= waitMs) return false;
        announcement.Begin(what, device, inode);
        const int step = std::min(WaitStepMs, waitMs - waited);
        Wait(step);
        waited += step;
    }
}

[[noreturn]] void Busy(const std::string& what, const std::string& path, std::uint64_t device, std::uint64_t inode, int waitMs) {
    const std::string holder = DescribeLockHolder(device, inode);
    throw ELockBusy(Format(TMsg::LockBusy, {what, holder.empty() ? std::string() : " (" + holder + ")",
                                            std::to_string((waitMs + 999) / 1000), path}));
}

} // namespace

int DefaultLockWaitMs() {
    if (const char* v = std::getenv("TABLORA_LOCK_WAIT_MS"); v && *v) {
        char* end = nullptr;
        const long ms = std::strtol(v, &end, 10);
        if (!*end && ms >= 0 && ms <= 24L * 3600 * 1000) return static_cast<int>(ms);
    }
    return 30000;
}

void SetLockWaitFunction(std::function<void(int)> wait) { WaitFunction() = std::move(wait); }

void SetLockWaitNotice(TLockWaitNotice notice) { WaitNotice() = std::move(notice); }

std::string DescribeLockHolder(std::uint64_t device, std::uint64_t inode) {
    const TLockHolder holder = FindLockHolder(device, inode);
    if (holder.Pid.empty()) return std::string();
    return holder.Program.empty() ? Format(TMsg::LockHolder, {holder.Pid})
                                  : Format(TMsg::LockHolderNamed, {holder.Pid, holder.Program});
}

TAdvisoryLock::TAdvisoryLock(TAdvisoryLock&& other) noexcept
    : key_(std::exchange(other.key_, TKey{})), extra_(std::exchange(other.extra_, TKey{})) {}

TAdvisoryLock& TAdvisoryLock::operator=(TAdvisoryLock&& other) noexcept {
    if (this != &other) {
        Release();
        key_ = std::exchange(other.key_, TKey{});
        extra_ = std::exchange(other.extra_, TKey{});
    }
    return *this;
}

TAdvisoryLock TAdvisoryLock::Acquire(const std::string& path, TLockKind kind, const std::string& what, int waitMs) {
    if (waitMs < 0) waitMs = DefaultLockWaitMs();
    const int operation = kind == TLockKind::Exclusive ? LOCK_EX : LOCK_SH;
    for (;;) {
        TFileDescriptor fd(FileSystem().Open(path, O_RDONLY));
        if (!fd.Valid()) CannotOpen(what, path);
        TFileStatus st;
        if (FileSystem().Fstat(fd.Get(), st) != 0) CannotOpen(what, path);
        const TRegistryKey key{st.Device, st.Inode};
        auto& registry = Registry();
        if (auto it = registry.find(key); it != registry.end()) {
            TEntry& entry = it->second;
            if (kind == TLockKind::Exclusive && entry.Kind == TLockKind::Shared) {
                if (!LockWithin(entry.Fd, LOCK_EX, waitMs, what, path, key.first, key.second, true))
                    Busy(what, path, key.first, key.second, waitMs);
                entry.Kind = TLockKind::Exclusive;
            }
            ++entry.Refs;
            TAdvisoryLock lock;
            lock.key_ = TKey{key.first, key.second};
            return lock;
        }
        if (!LockWithin(fd.Get(), operation, waitMs, what, path, key.first, key.second))
            Busy(what, path, key.first, key.second, waitMs);
        // A file replaced by rename while we waited: lock what the name stands for now.
        TFileStatus now;
        if (FileSystem().Stat(path, now) != 0) {
            if (errno == ENOENT) continue;  // unlinked meanwhile: the open says so
            CannotOpen(what, path);
        }
        if (!now.SameFileAs(st)) continue;
        registry[key] = TEntry{fd.Release(), kind, 1};
        TAdvisoryLock lock;
        lock.key_ = TKey{key.first, key.second};
        return lock;
    }
}

void TAdvisoryLock::AlsoHold(const std::string& path) {
    TAdvisoryLock other = Acquire(path, TLockKind::Exclusive, Text(TMsg::LockObjectFile), 0);
    if (extra_.Inode != 0) {
        TAdvisoryLock previous;
        previous.key_ = extra_;
    }
    extra_ = std::exchange(other.key_, TKey{});
}

void TAdvisoryLock::Release() {
    for (TKey* k : {&extra_, &key_}) {
        if (k->Inode == 0) continue;
        auto& registry = Registry();
        if (auto it = registry.find({k->Device, k->Inode}); it != registry.end() && --it->second.Refs == 0) {
            FileSystem().Close(it->second.Fd);
            registry.erase(it);
        }
        *k = TKey{};
    }
}

} // namespace rtl
