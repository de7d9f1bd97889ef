// A status-bar panel that shows a text too long for it with its middle left out ("…"), so
// that its end (the name of the table or file being worked on) stays in view; the whole
// text is then its tip. text() stays the whole text.
#pragma once

#include <QLabel>

namespace app {

class TStatusPanel : public QLabel {
public:
    explicit TStatusPanel(QWidget* parent = nullptr) : QLabel(parent) {}

    // The text as the panel shows it in its present width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace app
