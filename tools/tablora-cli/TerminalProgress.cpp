#include "tools/tablora-cli/TerminalProgress.h"

#include <iomanip>
#include <iostream>

namespace cli {

void TTerminalProgress::SetPosition(int value) {
    ui::TProgressValue::SetPosition(value);
    const long long span = static_cast<long long>(Max()) - Min();
    const int percent = span > 0 ? static_cast<int>(100 * (static_cast<long long>(value) - Min()) / span) : 0;
    // Redraw only when the figure changes: a file copy reports every 8 KiB.
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        Draw();
    }
}

void TTerminalProgress::SetText(const std::string& text) {
    text_ = text;
    Draw();
}

void TTerminalProgress::Draw() {
    // Through the C++ stream, which shows Slovak text on a Windows console (see
    // rtl::UseBinaryStandardStreams); std::cerr writes at once.
    std::cerr << "\r\033[K" << std::setw(3) << (lastPercent_ < 0 ? 0 : lastPercent_) << "% " << text_;
    drawn_ = true;
}

void TTerminalProgress::Finish() {
    if (drawn_) std::cerr << "\r\033[K";
}

} // namespace cli
