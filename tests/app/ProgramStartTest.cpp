#include "app/ProgramStart.h"
#include "platform/rtl/Error.h"
#include "platform/desktop/X11DesktopWindows.h"
#include "tests/support/TempDir.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

int g_argc = 1;
char g_name[] = "tablora";
char* g_argv[] = {g_name, nullptr};

TEST(RunApplication, TitlesTheApplicationShowsTheMainWindowAndEndsWithZero) {
    QString titleWhileCreating;
    bool shownInLoop = false;
    const int code = RunApplication(g_argc, g_argv, [&] {
        titleWhileCreating = QCoreApplication::applicationName();
        auto window = std::make_unique<QWidget>();
        QWidget* raw = window.get();
        QTimer::singleShot(0, raw, [raw, &shownInLoop] {
            shownInLoop = raw->isVisible();
            raw->close();
        });
        return window;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(titleWhileCreating, QStringLiteral("Tablora"));
    EXPECT_TRUE(shownInLoop);
}

TEST(RunApplication, MainWindowThatCannotBeCreatedIsReportedInTheErrorBox) {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    const int code = RunApplication(g_argc, g_argv, [&]() -> std::unique_ptr<QWidget> {
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                caption = box->windowTitle();
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        });
        throw rtl::EError("Zdrojovú databázu nie je možné otvoriť.");
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(caption, QStringLiteral("Tablora"));
    EXPECT_EQ(text, QStringLiteral("Zdrojovú databázu nie je možné otvoriť."));
    EXPECT_EQ(icon, QMessageBox::Critical);
}

// Holds a stand-in's start-up between its single-instance guard and its window, as the
// real window's pauses do, until the test lets it go on.
class StartUpHold {
public:
    StartUpHold() {
        if (::pipe2(toTest_, O_CLOEXEC) != 0 || ::pipe2(toProgram_, O_CLOEXEC) != 0) std::abort();
    }
    ~StartUpHold() {
        for (int fd : {toTest_[0], toTest_[1], toProgram_[0], toProgram_[1]})
            if (fd >= 0) ::close(fd);
    }
    StartUpHold(const StartUpHold&) = delete;
    StartUpHold& operator=(const StartUpHold&) = delete;

    // In the started child: hands the program its two ends.
    void PassToChild() const {
        for (int fd : {toTest_[1], toProgram_[0]}) ::fcntl(fd, F_SETFD, 0);
        const std::string fds = std::to_string(toTest_[1]) + "," + std::to_string(toProgram_[0]);
        ::setenv("TABLORA_STANDIN_HOLD", fds.c_str(), 1);
    }
    // True once the program reports that it is past its guard and held.
    bool WaitUntilHeld(int timeoutMs = 60000) {
        pollfd p{toTest_[0], POLLIN, 0};
        char byte = 0;
        return ::poll(&p, 1, timeoutMs) > 0 && ::read(toTest_[0], &byte, 1) == 1;
    }
    void Release() {
        const char byte = 'G';
        if (::write(toProgram_[1], &byte, 1) != 1) ADD_FAILURE() << "could not release the held start";
        ::close(toProgram_[1]);
        toProgram_[1] = -1;
    }

private:
    int toTest_[2] = {-1, -1};
    int toProgram_[2] = {-1, -1};
};

// The real program entry with a stand-in main window, started on a private X server with a
// runtime directory of the test's own.
class StartedProgram {
public:
    StartedProgram(const std::string& display, const std::string& runtimeDir, const StartUpHold* hold = nullptr) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
            ::unsetenv("QT_QPA_PLATFORM");  // the program chooses X11 itself
            ::unsetenv("WAYLAND_DISPLAY");
            if (hold) hold->PassToChild();
            ::execl(TABLORA_STANDIN, TABLORA_STANDIN, static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    pid_t Pid() const { return pid_; }
    ~StartedProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    // The exit code, or nothing if the process has not ended within the time (a hang).
    std::optional<int> WaitForExit(int timeoutMs = 60000) {
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            const int ready = ::poll(&p, 1, timeoutMs);
            ::close(pidfd);
            if (ready <= 0) return std::nullopt;
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::optional<int>(-1);
    }

private:
    pid_t pid_ = -1;
};

struct RootEvents {
    int creations = 0;
    int maps = 0;
};

// Drains pending events of the root; waits up to timeoutMs for the first one when asked.
RootEvents DrainRootEvents(test::X11TestClient& client, int timeoutMs) {
    RootEvents seen;
    auto count = [&seen](xcb_generic_event_t* e) {
        const int type = e->response_type & 0x7F;
        seen.creations += type == XCB_CREATE_NOTIFY;
        seen.maps += type == XCB_MAP_NOTIFY;
        std::free(e);
    };
    client.Sync();
    if (timeoutMs > 0) {
        if (xcb_generic_event_t* e = xcb_poll_for_event(client.Connection())) {
            count(e);
        } else {
            pollfd p{xcb_get_file_descriptor(client.Connection()), POLLIN, 0};
            ::poll(&p, 1, timeoutMs);
        }
    }
    while (xcb_generic_event_t* e = xcb_poll_for_event(client.Connection())) count(e);
    return seen;
}

std::optional<desktop::TTopLevelWindow> FindMainForm(desktop::TX11DesktopWindows& desktop) {
    for (const auto& w : desktop.Enumerate())
        if (w.className == "MainForm") return w;
    return std::nullopt;
}

int CountMainForms(desktop::TX11DesktopWindows& desktop) {
    int count = 0;
    for (const auto& w : desktop.Enumerate()) count += w.className == "MainForm";
    return count;
}

// The root's children that name the process as theirs (_NET_WM_PID, as Qt writes it).
std::vector<xcb_window_t> WindowsOfProcess(test::X11TestClient& client, pid_t pid) {
    std::vector<xcb_window_t> owned;
    const xcb_atom_t netWmPid = client.Atom("_NET_WM_PID");
    for (xcb_window_t w : client.Stacking()) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            client.Connection(), xcb_get_property(client.Connection(), 0, w, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4 &&
            *static_cast<const std::uint32_t*>(xcb_get_property_value(reply)) == static_cast<std::uint32_t>(pid))
            owned.push_back(w);
        std::free(reply);
    }
    return owned;
}

// Asks the window to close, as a window manager's close button does.
void CloseWindow(test::X11TestClient& client, xcb_window_t window) {
    xcb_client_message_event_t close{};
    close.response_type = XCB_CLIENT_MESSAGE;
    close.format = 32;
    close.window = window;
    close.type = client.Atom("WM_PROTOCOLS");
    close.data.data32[0] = client.Atom("WM_DELETE_WINDOW");
    close.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(client.Connection(), 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&close));
    client.Sync();
}

void DrainOpens(int inotifyFd) {
    alignas(inotify_event) char buffer[4096];
    while (::read(inotifyFd, buffer, sizeof buffer) > 0) {
    }
}

enum class TGuardSeen { Opened, MadeWindow, Ended, Nothing };

std::ostream& operator<<(std::ostream& out, TGuardSeen seen) {
    const char* names[] = {"opened the program's file", "made a window", "ended", "nothing within a minute"};
    return out << names[static_cast<int>(seen)];
}

// What a start does first: open a file of the program ("tablora-...") in the watched runtime
// directory, show a window, or end. Nothing after a minute (a hung start).
TGuardSeen WaitForGuard(int inotifyFd, test::X11TestClient& observer, pid_t pid) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd fds[3] = {{inotifyFd, POLLIN, 0}, {xcb_get_file_descriptor(observer.Connection()), POLLIN, 0},
                     {pidfd, POLLIN, 0}};
    TGuardSeen seen = TGuardSeen::Nothing;
    while (seen == TGuardSeen::Nothing && ::poll(fds, pidfd >= 0 ? 3 : 2, 60000) > 0) {
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = ::read(inotifyFd, buffer, sizeof buffer);
        for (ssize_t at = 0; n > 0 && at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && std::string(event->name).rfind("tablora-", 0) == 0) seen = TGuardSeen::Opened;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        if (seen == TGuardSeen::Nothing && DrainRootEvents(observer, 0).maps > 0) seen = TGuardSeen::MadeWindow;
        if (seen == TGuardSeen::Nothing && pidfd >= 0 && (fds[2].revents & POLLIN)) seen = TGuardSeen::Ended;
    }
    if (pidfd >= 0) ::close(pidfd);
    return seen;
}

// Starts of the real program entry on a private X server, watched from the root window,
// with a runtime directory of the test's own.
class ProgramStartsOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
        watcher = std::make_unique<test::X11TestClient>(server.Display());
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(watcher->Connection(), watcher->Root(), XCB_CW_EVENT_MASK, &mask);
        desktopWindows = std::make_unique<desktop::TX11DesktopWindows>(server.Display());
    }

    test::XvfbServer server;
    const test::TempDir runtime;
    std::unique_ptr<test::X11TestClient> watcher;
    std::unique_ptr<desktop::TX11DesktopWindows> desktopWindows;
};

TEST_F(ProgramStartsOnX11, SecondStartRaisesTheFirstInstanceAndEndsWithoutAWindow) {
    test::X11TestClient& observer = *watcher;
    desktop::TX11DesktopWindows& desktop = *desktopWindows;
    StartedProgram first(server.Display(), runtime.Path());
    std::optional<desktop::TTopLevelWindow> mainForm;
    for (int attempts = 0; !mainForm && attempts < 200; ++attempts) {
        if (DrainRootEvents(observer, 60000).maps > 0) mainForm = FindMainForm(desktop);
    }
    ASSERT_TRUE(mainForm) << "the first start showed no window of class MainForm";
    EXPECT_EQ(mainForm->title, "Tablora (stand-in)");
    ASSERT_TRUE(observer.IsViewable(mainForm->handle));

    // The focus is elsewhere when the second start comes.
    const xcb_window_t elsewhere = observer.CreateWindow("Iný program", "Editor");
    xcb_set_input_focus(observer.Connection(), XCB_INPUT_FOCUS_POINTER_ROOT, elsewhere, XCB_CURRENT_TIME);
    DrainRootEvents(observer, 0);
    ASSERT_EQ(observer.FocusedWindow(), elsewhere);

    StartedProgram second(server.Display(), runtime.Path());
    EXPECT_EQ(second.WaitForExit(), std::optional<int>(0));
    EXPECT_EQ(DrainRootEvents(observer, 0).creations, 0) << "the second start made a window";
    EXPECT_EQ(observer.FocusedWindow(), mainForm->handle);
    EXPECT_EQ(observer.Stacking().back(), mainForm->handle);

    // Closing the main window ends the first instance with 0 as well.
    CloseWindow(observer, mainForm->handle);
    EXPECT_EQ(first.WaitForExit(), std::optional<int>(0));
}

// Without a window manager nobody hands the keyboard to a new window: the program takes it,
// so that the first key typed reaches it.
TEST_F(ProgramStartsOnX11, TheMainWindowTakesTheKeyboardWhenItAppears) {
    test::X11TestClient& observer = *watcher;
    const xcb_window_t elsewhere = observer.CreateWindow("Iný program", "Editor");
    xcb_set_input_focus(observer.Connection(), XCB_INPUT_FOCUS_POINTER_ROOT, elsewhere, XCB_CURRENT_TIME);
    DrainRootEvents(observer, 0);
    ASSERT_EQ(observer.FocusedWindow(), elsewhere);

    StartedProgram first(server.Display(), runtime.Path());
    std::optional<desktop::TTopLevelWindow> mainForm;
    for (int attempts = 0; !mainForm && attempts < 200; ++attempts)
        if (DrainRootEvents(observer, 60000).maps > 0) mainForm = FindMainForm(*desktopWindows);
    ASSERT_TRUE(mainForm) << "the start showed no window of class MainForm";
    // The focus follows the mapping: wait for it a bounded time.
    for (int attempts = 0; observer.FocusedWindow() != mainForm->handle && attempts < 500; ++attempts)
        DrainRootEvents(observer, 20);
    EXPECT_EQ(observer.FocusedWindow(), mainForm->handle);

    CloseWindow(observer, mainForm->handle);
    EXPECT_EQ(first.WaitForExit(), std::optional<int>(0));
}

// The second start comes while the first is still starting (its main window not made yet):
// it waits, brings the first's window forward once there is one, and ends without its own.
TEST_F(ProgramStartsOnX11, SecondStartDuringTheFirstsStartUpHandsOverOnceItsWindowExists) {
    test::X11TestClient& observer = *watcher;
    desktop::TX11DesktopWindows& desktop = *desktopWindows;
    const int opens = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(opens, 0);
    ASSERT_GE(::inotify_add_watch(opens, runtime.Path().c_str(), IN_OPEN), 0);

    StartUpHold hold;
    StartedProgram first(server.Display(), runtime.Path(), &hold);
    ASSERT_TRUE(hold.WaitUntilHeld()) << "the first start did not get past its guard";
    DrainOpens(opens);
    ASSERT_EQ(DrainRootEvents(observer, 0).maps, 0);

    StartedProgram second(server.Display(), runtime.Path());
    // The second start is at its guard once it opens the program's file in the runtime
    // directory; one without that guard makes a window of its own instead.
    ASSERT_EQ(WaitForGuard(opens, observer, second.Pid()), TGuardSeen::Opened);

    hold.Release();
    EXPECT_EQ(second.WaitForExit(), std::optional<int>(0));
    const std::optional<desktop::TTopLevelWindow> mainForm = FindMainForm(desktop);
    ASSERT_TRUE(mainForm);
    EXPECT_EQ(mainForm->title, "Tablora (stand-in)");
    EXPECT_EQ(CountMainForms(desktop), 1);
    EXPECT_EQ(observer.FocusedWindow(), mainForm->handle);
    EXPECT_TRUE(WindowsOfProcess(observer, second.Pid()).empty()) << "the second start made a window";
    ::close(opens);

    CloseWindow(observer, mainForm->handle);
    EXPECT_EQ(first.WaitForExit(), std::optional<int>(0));
}

TEST(ProgramEntryOnX11, MainWindowKeepsItsClassWhenItsNativeWindowIsMadeAnew) {
    test::XvfbServer server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
    int argc = 3;
    char platformOption[] = "-platform";
    char platform[] = "xcb";
    char* argv[] = {g_name, platformOption, platform, nullptr};
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tablora"));
    desktop::TX11DesktopWindows desktop(server.Display());
    auto classOf = [&desktop](WId id) {
        QGuiApplication::sync();
        for (const auto& w : desktop.Enumerate())
            if (w.handle == id) return w.className;
        return std::string("(not listed)");
    };

    // A window whose native window can be thrown away and made anew.
    struct Recreatable : QWidget {
        void Recreate() {
            destroy();
            create();
        }
    } mainWindow;
    QWidget otherWindow;
    MarkAsMainWindow(mainWindow);
    mainWindow.show();
    otherWindow.show();
    const WId first = mainWindow.winId();
    EXPECT_EQ(classOf(first), "MainForm");
    EXPECT_EQ(classOf(otherWindow.winId()), "Tablora");

    mainWindow.Recreate();
    mainWindow.show();
    ASSERT_NE(mainWindow.winId(), first);
    EXPECT_EQ(classOf(mainWindow.winId()), "MainForm");
}

}  // namespace
