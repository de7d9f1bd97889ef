// The UI services on Qt: real message boxes, event processing, the wait cursor and pauses
// during which the windows keep painting. The program installs one at start.
#pragma once

#include "platform/ui/UiServices.h"

#include <QString>

class QCoreApplication;

namespace app {

class TWidgetUiServices : public ui::IUiServices {
public:
    ui::TMsgAnswer ShowMessage(const ui::TMessageRequest& request) override;
    void ProcessMessages() override;
    void SetBusyCursor(bool busy) override;
    // Waits while painting goes on; user input waits until the pause is over, so nothing
    // can be started in the middle of a step.
    void Pause(int milliseconds) override;

private:
    int busyDepth_ = 0;
};

// A message text as a message box shows it: "\r\n" and a lone "\r" become line breaks.
QString MessageBoxText(const std::string& text);

// Loads Qt's own Slovak translations into `application` (texts of the file dialogs and
// other standard dialogs). Returns false when they are not installed. Message boxes say
// "Áno" and "Nie" either way.
bool InstallSlovakQtTranslations(QCoreApplication& application);

} // namespace app
