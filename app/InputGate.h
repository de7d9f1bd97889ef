// While a task or a reload runs, the window takes no input. A click or key made meanwhile is
// dropped, not held back until the task ends: held, it would switch a page or open a window
// long after the person gave up on it. Painting goes on, and message boxes shown during the
// task take their own input as usual. One widget may be let through (the directory field
// being typed into, whose keys feed the reload that runs).
#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace app {

class TInputGate : public QObject {
public:
    // Gates input meant for `window` and the windows it owns (the splash window).
    explicit TInputGate(QWidget* window);
    ~TInputGate() override;
    TInputGate(const TInputGate&) = delete;
    TInputGate& operator=(const TInputGate&) = delete;

    // Closings nest; the gate opens again with the last Open. Before it opens, the input that
    // waits in the queues (made during a step that processed no events) is taken in and
    // dropped, so none of it reaches the window afterwards.
    void Close();
    void Open();
    // Takes in and drops the input waiting in the queues (the gate closed); other events
    // waiting are handled.
    void Flush();
    bool Closed() const { return depth_ > 0; }

    // `widget` (with its children) keeps its input while the gate is closed; nullptr: none.
    void LetThrough(QWidget* widget) { passage_ = widget; }

    // True when `event` for `receiver` is input the closed gate drops.
    bool Drops(QObject* receiver, const QEvent* event) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QPointer<QWidget> passage_;
    int depth_ = 0;
};

} // namespace app
