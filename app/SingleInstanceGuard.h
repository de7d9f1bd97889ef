// Finding a running instance of the program by its main window, so that a second start can
// hand over to it instead of opening a second window on the same database.
#pragma once

#include "platform/desktop/DesktopWindows.h"

#include <QString>

#include <functional>

// The class of the main window; a later start looks for it.
inline constexpr char MainWindowClassName[] = "MainForm";

// The first top-level window, in the desktop's order, whose title contains titleFragment
// (case-sensitive; an empty fragment never matches) or whose class equals className (whole
// name, any letter case; an empty className matches every window). NoWindow when none does.
desktop::TWindowHandle FindTopLevelWindow(desktop::IDesktopWindows& desktop, const QString& titleFragment,
                                         const QString& className);

// True when the start may go on. False when a window of the given class exists; that window
// has then been asked to come to the foreground.
bool CheckSingleInstance(desktop::IDesktopWindows& desktop, const QString& className);

// Held by one start of the program on a desktop from its first moment to its end, so that a
// later start knows of it before its main window exists (the window comes only after the
// start-up's pauses).
class IInstanceLock {
public:
    virtual ~IInstanceLock() = default;
    // True when this start holds the lock now, or when no lock can be had here (then the
    // window search alone decides); false while another start holds it.
    virtual bool TryTake() = 0;
};

// How a start waits for the main window of a start under way.
struct TInstanceWait {
    int StepMs = 100;
    int LimitMs = 120000;  // longer than any start-up: then this start ends regardless
    std::function<void(int milliseconds)> Wait;  // sleeps when empty
};

// The guard of the program entry. When this start gets the lock, the window search decides
// as in CheckSingleInstance. While another start holds it, this start waits for that start's
// main window, brings it to the foreground and returns false; if the other start ends
// without one, this start takes the lock after all. True when the start may go on.
bool ClaimSingleInstance(desktop::IDesktopWindows& desktop, const QString& className, IInstanceLock& lock,
                         const TInstanceWait& wait = {});
