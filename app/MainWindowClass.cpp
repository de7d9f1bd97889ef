#include "app/MainWindowClass.h"

#include "app/ProgramStart.h"

#include <QEvent>

namespace {

// Qt writes its own WM_CLASS whenever it makes a native window (and a new Windows window has
// none of our properties); this puts ours back.
class TMainWindowClassKeeper final : public QObject {
public:
    explicit TMainWindowClassKeeper(QWidget& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::WinIdChange && window_.internalWinId())
            app::ApplyMainWindowClass(window_);
        return false;
    }

private:
    QWidget& window_;
};

}  // namespace

void MarkAsMainWindow(QWidget& window) {
    if (!app::NamesItsWindows()) return;
    window.installEventFilter(new TMainWindowClassKeeper(window));
    app::ApplyMainWindowClass(window);  // makes the native window if there is none yet
}
