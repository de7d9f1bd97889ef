// The window's widgets as report targets of the source database module.
#pragma once

#include "platform/ui/ReportTargets.h"

class QLabel;
class QProgressBar;

namespace app {

class TProgressBarTarget : public ui::IProgressTarget {
public:
    explicit TProgressBarTarget(QProgressBar* bar) : bar_(bar) {}
    int Min() const override;
    int Max() const override;
    int Position() const override;
    void SetMin(int value) override;
    void SetMax(int value) override;
    // A position outside the range is pulled to its nearer end, as a bar can show no more.
    void SetPosition(int value) override;

private:
    QProgressBar* bar_;
};

// A label or a status-bar panel. A growing label widens to its text; a fixed-width
// panel keeps its width.
class TLabelTarget : public ui::ITextTarget {
public:
    TLabelTarget(QLabel* label, bool fitToText) : label_(label), fitToText_(fitToText) {}
    std::string Text() const override;
    void SetText(const std::string& text) override;

private:
    QLabel* label_;
    bool fitToText_;
};

} // namespace app
