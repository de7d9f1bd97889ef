// While the program waits for a database directory that another run holds, the window
// goes on painting: the wait passes through the UI services' pause.
#include "app/ProgramStart.h"
#include "platform/rtl/AdvisoryLock.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QTimer>


namespace {

int g_argc = 1;
char g_name[] = "tablora";
char* g_argv[] = {g_name, nullptr};

TEST(RunApplication, WaitingForAHeldDatabaseDirectoryKeepsTheWindowPainting) {
    test::TempDir database;
    pid_t holder = test::HoldLockElsewhere(database.Path());
    ASSERT_GT(holder, 0);
    bool waiting = false, eventsWhileWaiting = false, busy = false;
    RunApplication(g_argc, g_argv, [&] {
        auto window = std::make_unique<QWidget>();
        QTimer::singleShot(0, window.get(), [&] { eventsWhileWaiting = waiting; });
        waiting = true;
        try {
            rtl::TAdvisoryLock::Acquire(database.Path(), rtl::TLockKind::Exclusive, "database directory", 100);
        } catch (const rtl::ELockBusy&) {
            busy = true;
        }
        waiting = false;
        QWidget* raw = window.get();
        QTimer::singleShot(0, raw, [raw] { raw->close(); });
        return window;
    });

    test::EndLockHolder(holder);
    EXPECT_TRUE(busy);
    EXPECT_TRUE(eventsWhileWaiting) << "the window stood still while the lock was waited for";
}

} // namespace
