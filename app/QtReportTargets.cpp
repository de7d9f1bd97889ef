#include "app/QtReportTargets.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace app {

int TProgressBarTarget::Min() const { return bar_->minimum(); }
int TProgressBarTarget::Max() const { return bar_->maximum(); }
int TProgressBarTarget::Position() const { return bar_->value(); }
void TProgressBarTarget::SetMin(int value) { bar_->setMinimum(value); }
void TProgressBarTarget::SetMax(int value) { bar_->setMaximum(value); }

void TProgressBarTarget::SetPosition(int value) {
    bar_->setValue(std::clamp(value, bar_->minimum(), bar_->maximum()));
}

std::string TLabelTarget::Text() const { return label_->text().toStdString(); }

void TLabelTarget::SetText(const std::string& text) {
    label_->setText(QString::fromStdString(text));
    if (fitToText_) label_->adjustSize();
}

} // namespace app
