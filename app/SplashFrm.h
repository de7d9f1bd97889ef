// The small window that shows the loading of the table lists while the main window
// reloads them. It holds nothing beyond its two controls.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace app {

class TSplashForm : public QWidget {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* owner);

    QLabel* InfoLbl;
    QProgressBar* ProgressBar1;
};

} // namespace app
