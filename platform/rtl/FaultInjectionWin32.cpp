// Which file a descriptor stands for, as Windows tells it for the handle behind it, for the
// fault injector's path filter and reports.
#include "platform/rtl/FaultInjection.h"

#include "platform/rtl/Win32Path.h"

namespace rtl {

std::string TFaultInjectingFileSystem::PathOf(int fd) const {
    std::string name;
    return NameOfDescriptor(fd, name) ? name : "fd " + std::to_string(fd);
}

} // namespace rtl
