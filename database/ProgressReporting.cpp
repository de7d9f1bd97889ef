// How every long operation of the module reports: a progress bar range and position, and a
// status text shown in the label and the status panel that are connected.
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

namespace database {

void TOrvDatabaseModule::ShowStatus(const std::string& text) {
    bool changed = false;
    if (StatusPanel) {
        changed = !rtl::SameTextAscii(StatusPanel->Text(), text);
        StatusPanel->SetText(text);
    }
    if (StatusLabel) {
        changed = !rtl::SameTextAscii(StatusLabel->Text(), text);
        StatusLabel->SetText(text);
    }
    // Repainting only on a change keeps long loops of equal texts fast.
    if (changed) ui::Ui().ProcessMessages();
}

void TOrvDatabaseModule::SetProgress(int minimum, int maximum, int position, const std::string& text) {
    if (ProgressBar) {
        ProgressBar->SetMin(minimum);
        ProgressBar->SetMax(maximum);
        ProgressBar->SetPosition(position);
    }
    ShowStatus(text);
}

void TOrvDatabaseModule::SetProgressPosition(int position) {
    if (ProgressBar) ProgressBar->SetPosition(position);
}

} // namespace database
