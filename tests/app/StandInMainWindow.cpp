// A plain window in place of the real main window, so that the program entry can be run
// end to end on its own.
#include "app/MainWindowFactory.h"

std::unique_ptr<QWidget> CreateMainWindow() {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Tablora (stand-in)"));
    window->resize(240, 120);
    return window;
}
