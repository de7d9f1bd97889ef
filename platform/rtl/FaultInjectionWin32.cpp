// Which file a descriptor stands for, for the fault injector's reports: Windows names the
// file of a handle, which the seam keeps behind the descriptor; the report gives the number.
#include "platform/rtl/FaultInjection.h"

namespace rtl {

std::string TFaultInjectingFileSystem::PathOf(int fd) const { return "fd " + std::to_string(fd); }

} // namespace rtl
