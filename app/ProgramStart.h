// The start of the program after the single-instance guard: the application object, its
// title, the main window and the message loop.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

inline constexpr char ApplicationTitle[] = "Tablora";

// Under a Wayland session Qt would open native Wayland windows, which the single-instance
// guard (an X11 client) cannot see; when an X display is reachable and no platform was asked
// for, the program's windows go to X11 as well.
void PreferX11Windows();

// Gives the window the class MainWindowClassName (its X11 WM_CLASS class; on Windows a window
// property, see Win32WindowClass.h), now and whenever its native window is made anew, so that
// a later start finds it. Does nothing on other window systems.
void MarkAsMainWindow(QWidget& window);

// Creates the application object titled ApplicationTitle, creates the main window, shows it
// and runs the message loop until it closes. Returns the process exit code: 0, or 1 when the
// main window could not be created (the reason has then been shown).
int RunApplication(int& argc, char** argv, const std::function<std::unique_ptr<QWidget>()>& createMainWindow);
