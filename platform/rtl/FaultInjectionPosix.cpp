// Which file a descriptor stands for, as Linux tells it, for the fault injector's reports.
#include "platform/rtl/FaultInjection.h"

#include <unistd.h>

#include <cstdio>

namespace rtl {

std::string TFaultInjectingFileSystem::PathOf(int fd) const {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string("fd ") + std::to_string(fd);
}

} // namespace rtl
