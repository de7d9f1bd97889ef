// A radio button whose group exclusion the program drives itself, so that every button
// of a group may end up unchecked (the restore choices after "Nezálohovať"). Checking one
// unchecks its siblings before anyone else hears of it; the user cannot uncheck a
// button by clicking it again.
#pragma once

#include <QRadioButton>

#include <vector>

namespace app {

class TRadioButton : public QRadioButton {
    Q_OBJECT
public:
    TRadioButton(const QString& caption, QWidget* parent);

    // Makes the buttons one group; each unchecks the others when it becomes checked.
    static void Group(const std::vector<TRadioButton*>& buttons);

protected:
    void nextCheckState() override;

private:
    std::vector<TRadioButton*> siblings_;
};

} // namespace app
