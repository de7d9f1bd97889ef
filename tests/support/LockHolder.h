// Another process holding an advisory lock, as another run of the program would.
#pragma once

#include "platform/rtl/AdvisoryLock.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace test {

// A forked process holding the exclusive lock on `path` until it is killed; -1 on failure.
inline pid_t HoldLockElsewhere(const std::string& path) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rtl::TAdvisoryLock lock = rtl::TAdvisoryLock::Acquire(path, rtl::TLockKind::Exclusive, "x", 0);
        char c = 'x';
        if (::write(ready[1], &c, 1) != 1) ::_exit(2);
        for (;;) ::pause();
    }
    char c;
    const bool held = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    ::close(ready[1]);
    return held ? pid : -1;
}

// Ends that process (the lock goes with it); `holder` becomes -1.
inline void EndLockHolder(pid_t& holder) {
    if (holder <= 0) return;
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    holder = -1;
}

} // namespace test
