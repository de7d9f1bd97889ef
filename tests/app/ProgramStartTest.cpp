#include "app/ProgramStart.h"
#include "platform/rtl/Error.h"
#include "platform/windows/X11DesktopWindows.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

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

// The real program entry with a stand-in main window, started twice on a private X server.
class StartedProgram {
public:
    explicit StartedProgram(const std::string& display) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("DISPLAY", display.c_str(), 1);
            ::unsetenv("QT_QPA_PLATFORM");  // the program chooses X11 itself
            ::unsetenv("WAYLAND_DISPLAY");
            ::execl(TABLORA_STANDIN, TABLORA_STANDIN, static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
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

std::optional<windows::TopLevelWindow> FindMainForm(windows::X11DesktopWindows& desktop) {
    for (const auto& w : desktop.Enumerate())
        if (w.className == "MainForm") return w;
    return std::nullopt;
}

TEST(ProgramEntryOnX11, SecondStartRaisesTheFirstInstanceAndEndsWithoutAWindow) {
    test::XvfbServer server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
    test::X11TestClient observer(server.Display());
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(observer.Connection(), observer.Root(), XCB_CW_EVENT_MASK, &mask);
    windows::X11DesktopWindows desktop(server.Display());

    StartedProgram first(server.Display());
    std::optional<windows::TopLevelWindow> mainForm;
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

    StartedProgram second(server.Display());
    EXPECT_EQ(second.WaitForExit(), std::optional<int>(0));
    EXPECT_EQ(DrainRootEvents(observer, 0).creations, 0) << "the second start made a window";
    EXPECT_EQ(observer.FocusedWindow(), mainForm->handle);
    EXPECT_EQ(observer.Stacking().back(), mainForm->handle);

    // Closing the main window ends the first instance with 0 as well.
    const xcb_atom_t protocols = observer.Atom("WM_PROTOCOLS");
    xcb_client_message_event_t close{};
    close.response_type = XCB_CLIENT_MESSAGE;
    close.format = 32;
    close.window = mainForm->handle;
    close.type = protocols;
    close.data.data32[0] = observer.Atom("WM_DELETE_WINDOW");
    close.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(observer.Connection(), 0, mainForm->handle, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&close));
    observer.Sync();
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
    windows::X11DesktopWindows desktop(server.Display());
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
