// What the window system needs to know of the main window, one file per window system
// (MainWindowClassX11.cpp, MainWindowClassWin32.cpp, chosen by the build). The public calls,
// PreferX11Windows and MarkAsMainWindow, are declared in ProgramStart.h.
#pragma once

#include <QWidget>

namespace app {

// Whether the program's windows are native windows of a system we can name (X11, Win32);
// not under "offscreen", for one.
bool NamesItsWindows();

// Writes the class MainWindowClassName on the window's native window, making it if there is
// none yet.
void ApplyMainWindowClass(QWidget& window);

}  // namespace app
