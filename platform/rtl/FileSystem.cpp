#include "platform/rtl/FileSystem.h"

#include "platform/rtl/StartingFileSystem.h"

#include <cstddef>

namespace rtl {

namespace {

constexpr const char* OpNames[] = {"open-read", "open-write", "read",      "write",        "copy-range",
                                   "sync",      "close",      "rename",    "unlink",       "sync-dir",
                                   "mkdir",     "metadata",   "list",      "lock",         "link",
                                   "stat"};
static_assert(sizeof(OpNames) / sizeof(OpNames[0]) == static_cast<std::size_t>(TFsOp::Count));

TFileSystem& RealFileSystem() {
    static TFileSystem real;
    return real;
}

TFileSystem*& Installed() {
    // A test build's process started with TABLORA_FS_FAULT runs on the fault-injecting one
    // from the start.
    static TFileSystem* installed = StartingFileSystem();
    return installed;
}

} // namespace

const char* FsOpName(TFsOp op) {
    const auto i = static_cast<std::size_t>(op);
    return i < static_cast<std::size_t>(TFsOp::Count) ? OpNames[i] : "?";
}

bool ParseFsOp(const std::string& name, TFsOp& op) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(TFsOp::Count); ++i)
        if (name == OpNames[i]) {
            op = static_cast<TFsOp>(i);
            return true;
        }
    return false;
}

TFileSystem& FileSystem() {
    TFileSystem* fs = Installed();
    return fs ? *fs : RealFileSystem();
}

TFileSystem* InstallFileSystem(TFileSystem* fs) {
    TFileSystem* previous = Installed();
    Installed() = fs;
    return previous;
}

int TFileDescriptor::Reset() {
    if (fd_ < 0) return 0;
    const int r = FileSystem().Close(fd_);
    fd_ = -1;
    return r;
}

} // namespace rtl
