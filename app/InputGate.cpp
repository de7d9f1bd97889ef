#include "app/InputGate.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QWidget>

namespace app {
namespace {

bool IsInput(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// The widget an event is for: the receiver, or the widget a shortcut or action belongs to.
QWidget* WidgetOf(QObject* receiver) {
    for (QObject* o = receiver; o; o = o->parent())
        if (o->isWidgetType()) return static_cast<QWidget*>(o);
    return nullptr;
}

// `widget` is `ancestor` or lies within it, also in a window it owns.
bool Within(const QWidget* widget, const QWidget* ancestor) {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w == ancestor) return true;
    return false;
}

} // namespace

TInputGate::TInputGate(QWidget* window) : window_(window) {}

TInputGate::~TInputGate() {
    if (depth_ > 0) qApp->removeEventFilter(this);
}

void TInputGate::Close() {
    if (depth_++ == 0) qApp->installEventFilter(this);
}

void TInputGate::Open() {
    if (depth_ == 0) return;
    if (depth_ == 1) {
        Flush();
        qApp->removeEventFilter(this);
    }
    --depth_;
}

void TInputGate::Flush() {
    if (depth_ == 0) return;
    // A round trip to the display server first, so that every input it sent before now is
    // in the queues; then it is taken in while the gate still drops it.
    QGuiApplication::sync();
    for (int i = 0; i < 2; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TInputGate::Drops(QObject* receiver, const QEvent* event) const {
    if (depth_ == 0 || !IsInput(event->type())) return false;
    QWidget* widget = WidgetOf(receiver);
    // The native window's stage of an event passes: the widget it goes to decides.
    if (!widget) return false;
    if (passage_ && Within(widget, passage_)) return false;
    // Message boxes and questions of the running task are answered as usual.
    if (qobject_cast<QDialog*>(widget->window())) return false;
    return Within(widget, window_);
}

bool TInputGate::eventFilter(QObject* watched, QEvent* event) {
    return Drops(watched, event);
}

} // namespace app
