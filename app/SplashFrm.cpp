#include "app/SplashFrm.h"

#include "app/WindowFont.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

namespace app {

TSplashForm::TSplashForm(QWidget* owner)
    : QFrame(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("SplashForm"));
    // It only shows progress: the keyboard stays with the control being typed into.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setWindowTitle(QStringLiteral("Tablora"));
    setFont(WindowFont());
    setFixedSize(303, 64);

    InfoLbl = new QLabel(QStringLiteral("Info:"), this);
    InfoLbl->setObjectName(QStringLiteral("InfoLbl"));
    InfoLbl->move(8, 8);
    InfoLbl->adjustSize();

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 32, 289, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace app
