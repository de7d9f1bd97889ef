// Progress and status of the running operation as one line on a terminal's standard error.
#pragma once

#include "platform/ui/ReportTargets.h"

namespace cli {

class TTerminalProgress : public ui::TProgressValue, public ui::ITextTarget {
public:
    void SetPosition(int value) override;
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override;
    void Finish();

private:
    void Draw();
    std::string text_;
    int lastPercent_ = -1;
    bool drawn_ = false;
};

} // namespace cli
