#include "app/StandardErrorBox.h"

#include "platform/ui/UiServices.h"

#include <stdexcept>

namespace app {

void ShowStandardErrorBox(const std::string& text) {
    ui::ShowError(ProgramTitle, text);
}

void ShowCurrentError() {
    std::string text;
    try {
        throw;
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Neznáma chyba.";
    }
    try {
        ShowStandardErrorBox(text);
    } catch (...) {
        // Nothing sensible is left to do when even the message box fails.
    }
}

} // namespace app
