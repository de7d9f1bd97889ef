// How every long operation of the module reports: a progress bar range and position, and a
// status text shown in the label and the status panel that are connected.
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

#include <algorithm>

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

void TOrvDatabaseModule::ShowZipProgress(const std::string& text, const std::string& fileName, std::uint64_t done,
                                         std::uint64_t total) {
    const int position = total == 0 ? 0 : static_cast<int>(std::min(done, total) * ZipProgressSteps / total);
    const bool moved = ProgressBar && ProgressBar->Position() != position;
    SetProgressPosition(position);
    const std::string status = fileName.empty() ? text : text + " " + fileName;
    const bool retitled = (StatusPanel && StatusPanel->Text() != status) || (StatusLabel && StatusLabel->Text() != status);
    ShowStatus(status);
    // A new text repaints already; a bar that moved alone must repaint too.
    if (moved && !retitled) ui::Ui().ProcessMessages();
}

} // namespace database
