#include "app/QtUiServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace {

QMessageBox::Icon ToQt(ui::MsgIcon icon) {
    switch (icon) {
        case ui::MsgIcon::Error: return QMessageBox::Critical;
        case ui::MsgIcon::Warning: return QMessageBox::Warning;
        case ui::MsgIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ToQt(ui::MsgAnswer answer) {
    switch (answer) {
        case ui::MsgAnswer::Ok: return QMessageBox::Ok;
        case ui::MsgAnswer::Yes: return QMessageBox::Yes;
        case ui::MsgAnswer::No: return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

}  // namespace

TQtUiServices::~TQtUiServices() {
    while (busyDepth_ > 0) SetBusyCursor(false);
}

ui::MsgAnswer TQtUiServices::ShowMessage(const ui::MessageRequest& request) {
    QString text = QString::fromStdString(request.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QMessageBox::StandardButtons buttons =
        request.buttons == ui::MsgButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    QMessageBox box(ToQt(request.icon), QString::fromStdString(request.caption), text, buttons,
                    QApplication::activeWindow());
    box.setDefaultButton(ToQt(request.defaultButton));
    switch (box.exec()) {
        case QMessageBox::Yes: return ui::MsgAnswer::Yes;
        case QMessageBox::No: return ui::MsgAnswer::No;
        default: return request.buttons == ui::MsgButtons::YesNo ? ui::MsgAnswer::No : ui::MsgAnswer::Ok;
    }
}

void TQtUiServices::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TQtUiServices::SetBusyCursor(bool busy) {
    if (busy) {
        ++busyDepth_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0) {
        --busyDepth_;
        QApplication::restoreOverrideCursor();
    }
}

void TQtUiServices::Pause(int milliseconds) {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}
