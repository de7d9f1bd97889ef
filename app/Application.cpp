#include "app/Application.h"

#include "app/StandardErrorBox.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        app::ShowCurrentError();
    }
    return false;
}
