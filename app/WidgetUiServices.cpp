#include "app/WidgetUiServices.h"

#include <QApplication>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

namespace app {
namespace {

// A standard button's caption: Qt's own translation where its installed catalogue has
// one (older catalogues keep them under the button box), else the Slovak word itself,
// since the program speaks Slovak only.
QString ButtonText(const char* english, const char* slovak) {
    for (const char* context : {"QPlatformTheme", "QDialogButtonBox"}) {
        const QString translated = QCoreApplication::translate(context, english);
        if (translated != QLatin1String(english)) return translated;
    }
    return QString::fromUtf8(slovak);
}

} // namespace

QString MessageBoxText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

ui::MsgAnswer TWidgetUiServices::ShowMessage(const ui::MessageRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(request.caption));
    box.setText(MessageBoxText(request.text));
    switch (request.icon) {
    case ui::MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case ui::MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case ui::MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    if (request.buttons == ui::MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.defaultButton == ui::MsgAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(ButtonText("&Yes", "&Áno"));
        box.button(QMessageBox::No)->setText(ButtonText("&No", "&Nie"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(ButtonText("OK", "OK"));
    }
    // The wait cursor of a running operation must not hide the box's buttons' pointer.
    const bool overridden = busyDepth_ > 0;
    if (overridden) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (overridden) QApplication::restoreOverrideCursor();
    if (request.buttons == ui::MsgButtons::Ok) return ui::MsgAnswer::Ok;
    // Closing a question without an answer is the cautious answer.
    return result == QMessageBox::Yes ? ui::MsgAnswer::Yes : ui::MsgAnswer::No;
}

void TWidgetUiServices::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TWidgetUiServices::SetBusyCursor(bool busy) {
    if (busy) {
        ++busyDepth_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0) {
        --busyDepth_;
        QApplication::restoreOverrideCursor();
    }
}

void TWidgetUiServices::Pause(int milliseconds) {
    if (milliseconds <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

bool InstallSlovakQtTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qtbase_sk"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace app
