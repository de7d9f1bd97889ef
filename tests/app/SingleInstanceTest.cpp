#include "app/InstanceLock.h"
#include "app/SingleInstanceGuard.h"
#include "platform/desktop/X11DesktopWindows.h"
#include "tests/app/ScriptedDesktop.h"
#include "tests/support/TempDir.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"
#include "platform/rtl/AppLocations.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

using test::ScriptedDesktop;
using desktop::NoWindow;

const QString kMainForm = QString::fromLatin1(MainWindowClassName);

TEST(SingleInstanceGuard, StartGoesOnWhenNoWindowHasTheClass) {
    ScriptedDesktop desktop({{1, "Tablora", "Tablora"}, {2, "MainForm", "Editor"}, {3, "", ""}});
    EXPECT_TRUE(CheckSingleInstance(desktop, kMainForm));
    EXPECT_TRUE(desktop.activated.empty());

    ScriptedDesktop empty({});
    EXPECT_TRUE(CheckSingleInstance(empty, kMainForm));
    EXPECT_TRUE(empty.activated.empty());
}

TEST(SingleInstanceGuard, ClassEqualInAnyLetterCaseStopsTheStartAndActivatesThatWindow) {
    for (const char* found : {"MainForm", "MAINFORM", "mainform", "mAiNfOrM"}) {
        ScriptedDesktop desktop({{1, "Dokument", "Editor"}, {7, "Iný program", found}, {9, "x", "Other"}});
        EXPECT_FALSE(CheckSingleInstance(desktop, kMainForm)) << found;
        EXPECT_EQ(desktop.activated, std::vector<desktop::TWindowHandle>{7}) << found;
        EXPECT_EQ(desktop.enumerations, 1);
    }
}

TEST(SingleInstanceGuard, ClassThatOnlyContainsTheNameDoesNotStopTheStart) {
    ScriptedDesktop desktop({{1, "a", "TMainForm"}, {2, "b", "MainForm2"}, {3, "c", "MainFor"},
                             {4, "d", "MainForm "}, {5, "e", "xMAINFORMx"}});
    EXPECT_TRUE(CheckSingleInstance(desktop, kMainForm));
    EXPECT_TRUE(desktop.activated.empty());
}

TEST(SingleInstanceGuard, FirstQualifyingWindowWins) {
    ScriptedDesktop desktop({{4, "first", "Other"}, {5, "second", "MAINFORM"}, {6, "third", "MainForm"}});
    EXPECT_FALSE(CheckSingleInstance(desktop, kMainForm));
    EXPECT_EQ(desktop.activated, std::vector<desktop::TWindowHandle>{5});
}

TEST(FindTopLevelWindow, EmptyTitleFragmentNeverDecides) {
    ScriptedDesktop desktop({{1, "MainForm", "Editor"}, {2, "", "Other"}, {3, "Tablora", "Tablora"}});
    EXPECT_EQ(FindTopLevelWindow(desktop, QString(), kMainForm), NoWindow);
    EXPECT_EQ(FindTopLevelWindow(desktop, QString(), QStringLiteral("tablora")), 3u);
}

TEST(FindTopLevelWindow, TitleFragmentIsACaseSensitiveSubstring) {
    ScriptedDesktop desktop({{1, "o programe tablora", "A"}, {2, "O programe Tablora", "B"}, {3, "Tablora", "C"}});
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("Tablora"), QStringLiteral("NoSuchClass")), 2u);
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("TABLORA"), QStringLiteral("NoSuchClass")), NoWindow);
    // Either test suffices: the class finds window 1 before any title would.
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("Tablora"), QStringLiteral("a")), 1u);
}

TEST(FindTopLevelWindow, EmptyClassNameLetsEveryWindowQualify) {
    ScriptedDesktop desktop({{8, "", ""}, {9, "Tablora", "MainForm"}});
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("Tablora"), QString()), 8u);
}

TEST(FindTopLevelWindow, ComparesUnicodeTitlesAndClassesAsText) {
    ScriptedDesktop desktop({{1, "Účtovanie hovorov", "Účtovník"}});
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("hovorov"), QString::fromLatin1("X")), 1u);
    EXPECT_EQ(FindTopLevelWindow(desktop, QString(), QStringLiteral("ÚČTOVNÍK")), 1u);
}

TEST(FindTopLevelWindow, OnlyTheFirst254CharactersOfATitleAreRead) {
    const std::string padding(250, '-');
    ScriptedDesktop desktop({{1, padding + "Tablora", "A"}, {2, padding + "Tab", "B"}});
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("Tab"), QStringLiteral("X")), 1u);
    EXPECT_EQ(FindTopLevelWindow(desktop, QStringLiteral("Tablora"), QStringLiteral("X")), NoWindow);
}

// Another program's real X11 window of class "MAINFORM" stops the start and gets the focus.
TEST(SingleInstanceGuardOnX11, AnotherProgramsMainFormWindowIsFoundAndFocused) {
    test::XvfbServer server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
    test::X11TestClient other(server.Display());
    other.CreateWindow("Editor", "TMainFormLike");
    const xcb_window_t target = other.CreateWindow("Cudzí program", "MAINFORM");
    const xcb_window_t decoy = other.CreateWindow("MainForm", "Editor");
    xcb_set_input_focus(other.Connection(), XCB_INPUT_FOCUS_POINTER_ROOT, decoy, XCB_CURRENT_TIME);
    other.Sync();

    desktop::TX11DesktopWindows desktop(server.Display());
    EXPECT_FALSE(CheckSingleInstance(desktop, kMainForm));
    EXPECT_EQ(other.FocusedWindow(), target);
    EXPECT_EQ(other.Stacking().back(), target);
}

TEST(SingleInstanceGuardOnX11, DesktopWithoutTheClassLetsTheStartGoOn) {
    test::XvfbServer server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
    test::X11TestClient other(server.Display());
    other.CreateWindow("MainForm", "MainFormX");
    desktop::TX11DesktopWindows desktop(server.Display());
    EXPECT_TRUE(CheckSingleInstance(desktop, kMainForm));
}

// An instance lock whose answers the test gives, one per try; the last answer repeats.
struct ScriptedLock final : IInstanceLock {
    explicit ScriptedLock(std::vector<bool> answers) : answers(std::move(answers)) {}
    bool TryTake() override {
        const bool answer = answers[std::min(tries, answers.size() - 1)];
        ++tries;
        return answer;
    }
    std::vector<bool> answers;
    std::size_t tries = 0;
};

// A desktop on which the windows of a start under way appear from the given enumeration on.
struct StartingDesktop final : desktop::IDesktopWindows {
    StartingDesktop(std::vector<desktop::TTopLevelWindow> windows, int appearAt)
        : windows(std::move(windows)), appearAt(appearAt) {}
    std::vector<desktop::TTopLevelWindow> Enumerate() override {
        return ++enumerations >= appearAt ? windows : std::vector<desktop::TTopLevelWindow>{};
    }
    void Activate(desktop::TWindowHandle window) override { activated.push_back(window); }
    std::vector<desktop::TTopLevelWindow> windows;
    int appearAt;
    int enumerations = 0;
    std::vector<desktop::TWindowHandle> activated;
};

// Waits are recorded, never slept.
struct RecordedWaits {
    TInstanceWait Policy(int limitMs = 1000) {
        return {100, limitMs, [this](int ms) { total += ms; ++count; }};
    }
    int total = 0;
    int count = 0;
};

TEST(ClaimSingleInstance, TheFirstStartTakesTheLockAndTheWindowSearchStillDecides) {
    RecordedWaits waits;
    ScriptedLock free({true});
    ScriptedDesktop empty({{1, "Tablora", "Tablora"}});
    EXPECT_TRUE(ClaimSingleInstance(empty, kMainForm, free, waits.Policy()));
    EXPECT_EQ(free.tries, 1u);

    // Another program's window of the class stops the start, lock or no lock.
    ScriptedLock alsoFree({true});
    ScriptedDesktop other({{4, "Iný program", "MAINFORM"}});
    EXPECT_FALSE(ClaimSingleInstance(other, kMainForm, alsoFree, waits.Policy()));
    EXPECT_EQ(other.activated, std::vector<desktop::TWindowHandle>{4});
    EXPECT_EQ(waits.count, 0);
}

TEST(ClaimSingleInstance, AStartDuringAnotherStartsStartUpWaitsForItsWindowAndRaisesIt) {
    RecordedWaits waits;
    ScriptedLock held({false});
    StartingDesktop desktop({{2, "Editor", "Editor"}, {9, "Tablora", "MainForm"}}, 4);
    EXPECT_FALSE(ClaimSingleInstance(desktop, kMainForm, held, waits.Policy()));
    EXPECT_EQ(desktop.activated, std::vector<desktop::TWindowHandle>{9});
    EXPECT_EQ(waits.count, 3);
    EXPECT_EQ(held.tries, 4u);
}

TEST(ClaimSingleInstance, AStartUpThatNeverShowsAWindowEndsTheWaitWithoutASecondInstance) {
    RecordedWaits waits;
    ScriptedLock held({false});
    StartingDesktop desktop({{9, "Tablora", "MainForm"}}, 1000);
    EXPECT_FALSE(ClaimSingleInstance(desktop, kMainForm, held, waits.Policy(1000)));
    EXPECT_TRUE(desktop.activated.empty());
    EXPECT_EQ(waits.total, 1000);
}

TEST(ClaimSingleInstance, WhenTheOtherStartEndsWithoutAWindowThisOneGoesOn) {
    RecordedWaits waits;
    ScriptedLock releasedLater({false, false, true});
    StartingDesktop desktop({{9, "Tablora", "MainForm"}}, 1000);
    EXPECT_TRUE(ClaimSingleInstance(desktop, kMainForm, releasedLater, waits.Policy()));
    EXPECT_EQ(waits.count, 2);
    EXPECT_TRUE(desktop.activated.empty());
}

// A child process that tries the lock file at `path` and keeps what it got until told to end.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2], end[2];
        if (::pipe(ready) != 0 || ::pipe(end) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(end[1]);
            TInstanceLockFile lock(path);
            const char taken = lock.TryTake() ? 'y' : 'n';
            char byte = 0;
            if (::write(ready[1], &taken, 1) != 1 || ::read(end[0], &byte, 1) < 0) ::_exit(2);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(end[0]);
        char taken = 0;
        holds_ = ::read(ready[0], &taken, 1) == 1 && taken == 'y';
        ::close(ready[0]);
        end_ = end[1];
    }
    ~LockHolder() { End(); }
    bool Holds() const { return holds_; }
    void End() {
        if (pid_ <= 0) return;
        ::close(end_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int end_ = -1;
    bool holds_ = false;
};

TEST(InstanceLockFile, HeldByOneProcessUntilItEnds) {
    const test::TempDir runtime;
    const std::string path = InstanceLockPath(runtime.Path(), ":7");
    LockHolder first(path);
    ASSERT_TRUE(first.Holds());
    TInstanceLockFile second(path);
    EXPECT_FALSE(second.TryTake());
    EXPECT_FALSE(second.TryTake());
    // Another desktop has a lock of its own.
    TInstanceLockFile elsewhere(InstanceLockPath(runtime.Path(), ":8"));
    EXPECT_TRUE(elsewhere.TryTake());

    first.End();
    EXPECT_TRUE(second.TryTake());
    EXPECT_TRUE(second.TryTake());  // it keeps what it holds
    LockHolder third(path);
    EXPECT_FALSE(third.Holds());
}

TEST(InstanceLockFile, OneFilePerDesktopInsideTheRuntimeDirectory) {
    EXPECT_EQ(InstanceLockPath("/run/user/1000", ":0"), InstanceLockPath("/run/user/1000", ":0.1"));
    EXPECT_NE(InstanceLockPath("/run/user/1000", ":0"), InstanceLockPath("/run/user/1000", ":1"));
    EXPECT_NE(InstanceLockPath("/run/user/1000", "host:0"), InstanceLockPath("/run/user/1000", ":0"));
    const std::string odd = InstanceLockPath("/run/user/1000", "/tmp/../launch-x/org.x:0");
    EXPECT_EQ(std::filesystem::path(odd).parent_path(), "/run/user/1000");
    EXPECT_EQ(InstanceLockPath("", ":0"), "");

    // No runtime directory to be had: the lock lets every start go on, the window search decides.
    TInstanceLockFile none("");
    EXPECT_TRUE(none.TryTake());
}

class RuntimeDirectoryTest : public ::testing::Test {
protected:
    RuntimeDirectoryTest() {
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
            if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
        ::setenv("TMPDIR", temp_.Path().c_str(), 1);
    }
    ~RuntimeDirectoryTest() override {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("TMPDIR");
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::string Fallback() const { return temp_ / ("tablora-" + std::to_string(::getuid())); }

    test::TempDir temp_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(RuntimeDirectoryTest, TheUsersRuntimeDirectoryWhenItIsPrivate) {
    const std::string runtime = temp_ / "run";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(rtl::UserRuntimeDirectory(), runtime);

    // One that others may write into is not used.
    ASSERT_EQ(::chmod(runtime.c_str(), 0777), 0);
    EXPECT_EQ(rtl::UserRuntimeDirectory(), Fallback());
}

TEST_F(RuntimeDirectoryTest, WithoutOneAPrivateDirectoryIsMadeAndAPlantedOneRefused) {
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(rtl::UserRuntimeDirectory(), Fallback());
    struct stat st {};
    ASSERT_EQ(::stat(Fallback().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(rtl::UserRuntimeDirectory(), Fallback());  // found again

    // A link put in its place (by anyone who can write to the temporary directory) is refused.
    ASSERT_EQ(::rmdir(Fallback().c_str()), 0);
    ASSERT_EQ(::symlink(temp_.Path().c_str(), Fallback().c_str()), 0);
    EXPECT_EQ(rtl::UserRuntimeDirectory(), "");
}

}  // namespace
