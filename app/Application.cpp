#include "app/Application.h"

#include "app/ProgramStart.h"
#include "platform/ui/UiServices.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowStandardErrorBox(error.what());
    } catch (...) {
        ShowStandardErrorBox("Neznáma chyba.");
    }
    return false;
}

void ShowStandardErrorBox(const std::string& text) {
    ui::ShowError(ApplicationTitle, text);
}
