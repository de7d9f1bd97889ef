// The application object and the standard error box.
//
// An error that leaves an event handler is shown in the standard error box and the program
// goes on running. Handlers wrap their bodies in HandleErrors: Qt itself is not built for
// errors passing through it, so TApplication::notify catching them is only the last resort.
#pragma once

#include <QApplication>

#include <exception>
#include <string>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The standard error box: the error's text, the program's title as caption, the stop icon.
void ShowStandardErrorBox(const std::string& text);

// Runs an event handler's body; an error that leaves it is shown in the standard error box.
template <typename Body>
void HandleErrors(Body&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        ShowStandardErrorBox(error.what());
    }
}
