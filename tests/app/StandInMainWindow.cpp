// A plain window in place of the real main window, so that the program entry can be run
// end to end on its own.
//
// TABLORA_STANDIN_HOLD="R,G" holds the start-up as the real window's pauses do: the stand-in
// writes one byte to descriptor R once it is past the single-instance guard, then waits for
// one byte (or the end) on descriptor G before it makes its window.
#include "app/MainWindowFactory.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

void HoldStartUp() {
    const char* hold = std::getenv("TABLORA_STANDIN_HOLD");
    int report = -1, release = -1;
    if (!hold || std::sscanf(hold, "%d,%d", &report, &release) != 2) return;
    char byte = 'S';
    if (::write(report, &byte, 1) != 1) std::perror("stand-in: report");
    if (::read(release, &byte, 1) < 0) std::perror("stand-in: release");
    ::close(report);
    ::close(release);
}

}  // namespace

std::unique_ptr<QWidget> CreateMainWindow() {
    HoldStartUp();
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Tablora (stand-in)"));
    window->resize(240, 120);
    return window;
}
