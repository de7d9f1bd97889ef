#include "app/SingleInstanceGuard.h"
#include "platform/windows/X11DesktopWindows.h"
#include "tests/app/ScriptedDesktop.h"
#include "tests/support/X11TestClient.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

namespace {

using test::ScriptedDesktop;
using windows::NoWindow;

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
        EXPECT_EQ(desktop.activated, std::vector<windows::WindowHandle>{7}) << found;
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
    EXPECT_EQ(desktop.activated, std::vector<windows::WindowHandle>{5});
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

    windows::X11DesktopWindows desktop(server.Display());
    EXPECT_FALSE(CheckSingleInstance(desktop, kMainForm));
    EXPECT_EQ(other.FocusedWindow(), target);
    EXPECT_EQ(other.Stacking().back(), target);
}

TEST(SingleInstanceGuardOnX11, DesktopWithoutTheClassLetsTheStartGoOn) {
    test::XvfbServer server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not available";
    test::X11TestClient other(server.Display());
    other.CreateWindow("MainForm", "MainFormX");
    windows::X11DesktopWindows desktop(server.Display());
    EXPECT_TRUE(CheckSingleInstance(desktop, kMainForm));
}

}  // namespace
