#include "platform/rtl/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtl {

int ProcessId() { return static_cast<int>(::getpid()); }

bool ProcessRuns(int pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

TUserId RealUserId() { return static_cast<TUserId>(::getuid()); }

TUserId EffectiveUserId() { return static_cast<TUserId>(::geteuid()); }

TGroupId EffectiveGroupId() { return static_cast<TGroupId>(::getegid()); }

TFileMode FileCreationMask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<TFileMode>(mask);
}

void ForgetInForkedChild(void (*forget)()) { ::pthread_atfork(nullptr, nullptr, forget); }

std::string EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

void SetEnvironmentVariable(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

std::string CurrentDirectory() {
    std::error_code ec;
    const auto dir = std::filesystem::current_path(ec);
    return ec ? std::string() : dir.string();
}

bool ChangeCurrentDirectory(const std::string& directory) {
    std::error_code ec;
    std::filesystem::current_path(directory, ec);
    return !ec;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path.empty() ? std::string(".") : path, ec);
    return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

std::string TemporaryDirectory() {
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : dir.string();
}

void PreferLargePages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t Large = 2u << 20;
    const auto from = (reinterpret_cast<std::uintptr_t>(data) + Large - 1) & ~(Large - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(Large - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

void KillThisProcess() {
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);  // not reached
}

bool IsTerminal(TStandardStream stream) {
    const int fd = stream == TStandardStream::Input ? STDIN_FILENO
                   : stream == TStandardStream::Output ? STDOUT_FILENO
                                                       : STDERR_FILENO;
    return ::isatty(fd) != 0;
}

} // namespace rtl
