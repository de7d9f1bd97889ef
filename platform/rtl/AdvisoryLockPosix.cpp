// Who holds a lock, as Linux tells it in /proc/locks.
#include "platform/rtl/AdvisoryLock.h"

#include "platform/rtl/Process.h"

#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace rtl {

TLockHolder FindLockHolder(std::uint64_t device, std::uint64_t inode) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        if (line.find("->") != std::string::npos) continue;  // a waiter, not the holder
        std::istringstream in(line);
        std::string number, type, advisory, mode, pid, id;
        if (!(in >> number >> type >> advisory >> mode >> pid >> id)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long ino = 0;
        if (std::sscanf(id.c_str(), "%x:%x:%llu", &major, &minor, &ino) != 3) continue;
        if (ino != inode || major != ::major(device) || minor != ::minor(device)) continue;
        if (pid == "-1" || pid == std::to_string(ProcessId())) continue;
        std::string comm;
        std::ifstream commFile("/proc/" + pid + "/comm");
        std::getline(commFile, comm);
        return TLockHolder{pid, comm};
    }
    return TLockHolder{};
}

} // namespace rtl
