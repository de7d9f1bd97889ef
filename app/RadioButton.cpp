#include "app/RadioButton.h"

namespace app {

TRadioButton::TRadioButton(const QString& caption, QWidget* parent) : QRadioButton(caption, parent) {
    setAutoExclusive(false);
    // Connected first, so the siblings are off before the window's own handler runs.
    connect(this, &QAbstractButton::toggled, this, [this](bool checked) {
        if (!checked) return;
        for (TRadioButton* sibling : siblings_) sibling->setChecked(false);
    });
}

void TRadioButton::Group(const std::vector<TRadioButton*>& buttons) {
    for (TRadioButton* button : buttons) {
        button->siblings_.clear();
        for (TRadioButton* other : buttons)
            if (other != button) button->siblings_.push_back(other);
    }
}

void TRadioButton::nextCheckState() {
    if (!isChecked()) setChecked(true);
}

} // namespace app
