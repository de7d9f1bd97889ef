// Finding a running instance of the program by its main window, so that a second start can
// hand over to it instead of opening a second window on the same database.
#pragma once

#include "platform/windows/DesktopWindows.h"

#include <QString>

// The class of the main window; a later start looks for it.
inline constexpr char MainWindowClassName[] = "MainForm";

// The first top-level window, in the desktop's order, whose title contains titleFragment
// (case-sensitive; an empty fragment never matches) or whose class equals className (whole
// name, any letter case; an empty className matches every window). NoWindow when none does.
windows::WindowHandle FindTopLevelWindow(windows::IDesktopWindows& desktop, const QString& titleFragment,
                                         const QString& className);

// True when the start may go on. False when a window of the given class exists; that window
// has then been asked to come to the foreground.
bool CheckSingleInstance(windows::IDesktopWindows& desktop, const QString& className);
