#include "tools/tablora-cli/TerminalProgress.h"

#include <cstdio>

namespace cli {

void TerminalProgress::SetPosition(int value) {
    ui::TProgressValue::SetPosition(value);
    const long long span = static_cast<long long>(Max()) - Min();
    const int percent = span > 0 ? static_cast<int>(100 * (static_cast<long long>(value) - Min()) / span) : 0;
    // Redraw only when the figure changes: a file copy reports every 8 KiB.
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        Draw();
    }
}

void TerminalProgress::SetText(const std::string& text) {
    text_ = text;
    Draw();
}

void TerminalProgress::Draw() {
    std::fprintf(stderr, "\r\033[K%3d%% %s", lastPercent_ < 0 ? 0 : lastPercent_, text_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::Finish() {
    if (drawn_) std::fputs("\r\033[K", stderr);
}

} // namespace cli
