// The application object.
//
// An error that leaves an event handler is shown in the standard error box and the program
// goes on running. Handlers wrap their bodies in app::Guarded: Qt itself is not built for
// errors passing through it, so TApplication::notify catching them is only the last resort.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
