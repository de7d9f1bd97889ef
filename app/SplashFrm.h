// The small window that shows the loading of the table lists while the main window
// reloads them. It holds nothing beyond its two controls. A frameless tool window that draws
// its own edge: a window manager gives it no title bar or buttons (closing it would take the
// reload's progress display away), and it never takes the keyboard.
#pragma once

#include <QFrame>

class QLabel;
class QProgressBar;

namespace app {

class TSplashForm : public QFrame {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* owner);

    QLabel* InfoLbl;
    QProgressBar* ProgressBar1;
};

} // namespace app
