// While the program waits for a database directory that another run holds, the window
// goes on painting: the wait passes through the UI services' pause.
#include "app/ProgramStart.h"
#include "platform/rtl/AdvisoryLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_argc = 1;
char g_name[] = "tablora";
char* g_argv[] = {g_name, nullptr};

// Another process holding `path` until it is killed.
pid_t HoldElsewhere(const std::string& path) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rtl::TAdvisoryLock lock = rtl::TAdvisoryLock::Acquire(path, rtl::LockKind::Exclusive, "x", 0);
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

TEST(RunApplication, WaitingForAHeldDatabaseDirectoryKeepsTheWindowPainting) {
    test::TempDir database;
    const pid_t holder = HoldElsewhere(database.Path());
    ASSERT_GT(holder, 0);
    bool waiting = false, eventsWhileWaiting = false, busy = false;
    RunApplication(g_argc, g_argv, [&] {
        auto window = std::make_unique<QWidget>();
        QTimer::singleShot(0, window.get(), [&] { eventsWhileWaiting = waiting; });
        waiting = true;
        try {
            rtl::TAdvisoryLock::Acquire(database.Path(), rtl::LockKind::Exclusive, "database directory", 100);
        } catch (const rtl::ELockBusy&) {
            busy = true;
        }
        waiting = false;
        QWidget* raw = window.get();
        QTimer::singleShot(0, raw, [raw] { raw->close(); });
        return window;
    });
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(eventsWhileWaiting) << "the window stood still while the lock was waited for";
}

} // namespace
