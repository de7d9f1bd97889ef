#include "app/LinkLabel.h"

#include <QMouseEvent>
#include <QPalette>

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    setPalette(palette);
    setCursor(Qt::PointingHandCursor);
}

// A click is a press and a release over the label, as with a button.
void TLinkLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}
