#include "platform/rtl/FaultInjection.h"

#include "platform/rtl/Process.h"
#include "platform/rtl/StartingFileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

namespace rtl {

namespace {

struct TNamedErrno {
    const char* Name;
    int Value;
};
constexpr TNamedErrno Errnos[] = {{"ENOSPC", ENOSPC}, {"EIO", EIO},         {"EACCES", EACCES},
                                  {"EROFS", EROFS},   {"EPERM", EPERM},
                                  {"EBUSY", EBUSY},   {"ENOENT", ENOENT},   {"EEXIST", EEXIST},
                                  {"EXDEV", EXDEV},   {"EINTR", EINTR},     {"EMLINK", EMLINK},
                                  {"ENOSYS", ENOSYS}, {"EOPNOTSUPP", EOPNOTSUPP},
#ifdef EDQUOT  // no quotas on Windows
                                  {"EDQUOT", EDQUOT}
#endif
};

std::string& CountFile() {
    static std::string file;
    return file;
}

TFaultInjectingFileSystem*& EnvironmentInstance() {
    static TFaultInjectingFileSystem* instance = nullptr;
    return instance;
}

void WriteCountAtExit() {
    TFaultInjectingFileSystem* fs = EnvironmentInstance();
    if (!fs || CountFile().empty()) return;
    if (FILE* f = std::fopen(CountFile().c_str(), "w")) {
        std::fprintf(f, "%llu\n", static_cast<unsigned long long>(fs->Counted()));
        std::fclose(f);
    }
}

} // namespace

std::uint32_t OpBit(TFsOp op) { return 1u << static_cast<unsigned>(op); }

std::uint32_t AllOps() { return (1u << static_cast<unsigned>(TFsOp::Count)) - 1; }

std::uint32_t MutatingOps() {
    return OpBit(TFsOp::OpenWrite) | OpBit(TFsOp::Write) | OpBit(TFsOp::CopyRange) | OpBit(TFsOp::Sync) |
           OpBit(TFsOp::Rename) | OpBit(TFsOp::Link) | OpBit(TFsOp::Unlink) | OpBit(TFsOp::SyncDirectory) |
           OpBit(TFsOp::MakeDirectory) | OpBit(TFsOp::SetMetadata);
}

void TFaultInjectingFileSystem::Arm(const TFault& fault) {
    fault_ = fault;
    counted_ = 0;
    struck_ = false;
    struckAt_.clear();
}

void TFaultInjectingFileSystem::Disarm() { fault_.Nth = 0; }

void TFaultInjectingFileSystem::ResetCounts() {
    counted_ = 0;
    calls_.fill(0);
    struck_ = false;
    struckAt_.clear();
}

bool TFaultInjectingFileSystem::Strike(TFsOp op, const std::string& what) {
    ++calls_[static_cast<std::size_t>(op)];
    const std::uint32_t ops = fault_.Ops ? fault_.Ops : MutatingOps();
    if ((ops & OpBit(op)) == 0) return false;
    if (!fault_.PathContains.empty() && what.find(fault_.PathContains) == std::string::npos) return false;
    ++counted_;
    if (fault_.Nth == 0 || counted_ < fault_.Nth || (counted_ > fault_.Nth && !fault_.Persistent)) return false;
    if (!struck_) struckAt_ = std::string(FsOpName(op)) + " " + what;
    struck_ = true;
    if (fault_.Kill) KillThisProcess();
    errno = fault_.Error;
    return true;
}

int TFaultInjectingFileSystem::Open(const std::string& path, int flags, TFileMode mode) {
    const bool writes = (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0;
    if (Strike(writes ? TFsOp::OpenWrite : TFsOp::OpenRead, path)) return -1;
    return TFileSystem::Open(path, flags, mode);
}

ssize_t TFaultInjectingFileSystem::Read(int fd, void* buffer, std::size_t size) {
    if (Strike(TFsOp::Read, fault_.PathContains.empty() ? std::string() : PathOf(fd))) return -1;
    return TFileSystem::Read(fd, buffer, size);
}

ssize_t TFaultInjectingFileSystem::ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    if (Strike(TFsOp::Read, fault_.PathContains.empty() ? std::string() : PathOf(fd))) return -1;
    return TFileSystem::ReadAt(fd, buffer, size, offset);
}

ssize_t TFaultInjectingFileSystem::Write(int fd, const void* buffer, std::size_t size) {
    if (Strike(TFsOp::Write, PathOf(fd))) return -1;
    return TFileSystem::Write(fd, buffer, size);
}

ssize_t TFaultInjectingFileSystem::WriteAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    if (Strike(TFsOp::Write, PathOf(fd))) return -1;
    return TFileSystem::WriteAt(fd, buffer, size, offset);
}

ssize_t TFaultInjectingFileSystem::CopyRange(int from, int to, std::size_t size) {
    if (Strike(TFsOp::CopyRange, PathOf(to))) return -1;
    return TFileSystem::CopyRange(from, to, size);
}

int TFaultInjectingFileSystem::Sync(int fd) {
    if (Strike(TFsOp::Sync, PathOf(fd))) return -1;
    return TFileSystem::Sync(fd);
}

int TFaultInjectingFileSystem::Close(int fd) {
    if (Strike(TFsOp::Close, fault_.PathContains.empty() ? std::string() : PathOf(fd))) {
        // The descriptor is gone either way, as after a real failed close.
        const int saved = errno;
        TFileSystem::Close(fd);
        errno = saved;
        return -1;
    }
    return TFileSystem::Close(fd);
}

int TFaultInjectingFileSystem::Rename(const std::string& from, const std::string& to) {
    if (Strike(TFsOp::Rename, from + " -> " + to)) return -1;
    return TFileSystem::Rename(from, to);
}

int TFaultInjectingFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    if (Strike(TFsOp::Rename, from + " -> " + to)) return -1;
    return TFileSystem::RenameNoReplace(from, to);
}

int TFaultInjectingFileSystem::RenameExchange(const std::string& a, const std::string& b) {
    if (Strike(TFsOp::Rename, a + " <-> " + b)) return -1;
    return TFileSystem::RenameExchange(a, b);
}

int TFaultInjectingFileSystem::Unlink(const std::string& path) {
    if (Strike(TFsOp::Unlink, path)) return -1;
    return TFileSystem::Unlink(path);
}

int TFaultInjectingFileSystem::Link(const std::string& existing, const std::string& name) {
    if (Strike(TFsOp::Link, existing + " -> " + name)) return -1;
    return TFileSystem::Link(existing, name);
}

int TFaultInjectingFileSystem::SyncDirectory(const std::string& directory) {
    if (Strike(TFsOp::SyncDirectory, directory)) return -1;
    return TFileSystem::SyncDirectory(directory);
}

int TFaultInjectingFileSystem::MakeDirectory(const std::string& path, TFileMode mode) {
    if (Strike(TFsOp::MakeDirectory, path)) return -1;
    return TFileSystem::MakeDirectory(path, mode);
}

int TFaultInjectingFileSystem::Truncate(int fd, std::uint64_t size) {
    if (Strike(TFsOp::SetMetadata, PathOf(fd))) return -1;
    return TFileSystem::Truncate(fd, size);
}

int TFaultInjectingFileSystem::ChangeMode(int fd, TFileMode mode) {
    if (Strike(TFsOp::SetMetadata, PathOf(fd))) return -1;
    return TFileSystem::ChangeMode(fd, mode);
}

int TFaultInjectingFileSystem::ChangeOwner(int fd, TUserId owner, TGroupId group) {
    if (Strike(TFsOp::SetMetadata, PathOf(fd))) return -1;
    return TFileSystem::ChangeOwner(fd, owner, group);
}

int TFaultInjectingFileSystem::SetTimes(int fd, std::int64_t accessNs, std::int64_t modifyNs) {
    if (Strike(TFsOp::SetMetadata, PathOf(fd))) return -1;
    return TFileSystem::SetTimes(fd, accessNs, modifyNs);
}

int TFaultInjectingFileSystem::ListDirectory(const std::string& directory, std::vector<TDirEntry>& entries) {
    if (Strike(TFsOp::List, directory)) return -1;
    return TFileSystem::ListDirectory(directory, entries);
}

int TFaultInjectingFileSystem::Lock(int fd, int operation) {
    if (Strike(TFsOp::Lock, fault_.PathContains.empty() ? std::string() : PathOf(fd))) return -1;
    return TFileSystem::Lock(fd, operation);
}

int TFaultInjectingFileSystem::Stat(const std::string& path, TFileStatus& status) {
    if (Strike(TFsOp::Stat, path)) return -1;
    return TFileSystem::Stat(path, status);
}

int TFaultInjectingFileSystem::Lstat(const std::string& path, TFileStatus& status) {
    if (Strike(TFsOp::Stat, path)) return -1;
    return TFileSystem::Lstat(path, status);
}

int TFaultInjectingFileSystem::Fstat(int fd, TFileStatus& status) {
    if (Strike(TFsOp::Stat, fault_.PathContains.empty() ? std::string() : PathOf(fd))) return -1;
    return TFileSystem::Fstat(fd, status);
}

int TFaultInjectingFileSystem::Access(const std::string& path, unsigned access) {
    if (Strike(TFsOp::Stat, path)) return -1;
    return TFileSystem::Access(path, access);
}

int TFaultInjectingFileSystem::FreeSpace(const std::string& path, std::uint64_t& bytes) {
    if (Strike(TFsOp::Stat, path)) return -1;
    return TFileSystem::FreeSpace(path, bytes);
}

bool ParseFault(const std::string& text, TFault& fault, std::string& countFile, std::string& error) {
    fault = TFault{};
    countFile.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        const auto eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        if (key == "kill") {
            fault.Kill = true;
        } else if (key == "persist") {
            fault.Persistent = true;
        } else if (key == "nth") {
            char* endp = nullptr;
            fault.Nth = std::strtoull(value.c_str(), &endp, 10);
            if (value.empty() || *endp) return error = "nth needs a number: \"" + value + "\"", false;
        } else if (key == "ops") {
            std::size_t p = 0;
            if (value == "all") {
                fault.Ops = AllOps();
                continue;
            }
            while (p <= value.size()) {
                const std::size_t q = std::min(value.find(',', p), value.size());
                TFsOp op;
                const std::string name = value.substr(p, q - p);
                if (!ParseFsOp(name, op)) return error = "unknown call kind \"" + name + "\"", false;
                fault.Ops |= OpBit(op);
                p = q + 1;
            }
        } else if (key == "errno") {
            bool known = false;
            for (const auto& e : Errnos)
                if (value == e.Name) {
                    fault.Error = e.Value;
                    known = true;
                }
            if (!known) return error = "unknown errno \"" + value + "\"", false;
        } else if (key == "path") {
            fault.PathContains = value;
        } else if (key == "count") {
            countFile = value;
        } else {
            return error = "unknown setting \"" + key + "\"", false;
        }
    }
    return true;
}

TFileSystem* FaultInjectionFromEnvironment() {
    const char* text = std::getenv("TABLORA_FS_FAULT");
    if (!text || !*text) return nullptr;
    TFault fault;
    std::string error;
    if (!ParseFault(text, fault, CountFile(), error)) {
        std::fprintf(stderr, "TABLORA_FS_FAULT ignored: %s\n", error.c_str());
        return nullptr;
    }
    static TFaultInjectingFileSystem fs;
    fs.Arm(fault);
    EnvironmentInstance() = &fs;
    if (!CountFile().empty()) std::atexit(WriteCountAtExit);
    return &fs;
}

TFileSystem* StartingFileSystem() { return FaultInjectionFromEnvironment(); }

} // namespace rtl
