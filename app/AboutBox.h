// The About window: the program's name, version and the project's contact data.
#pragma once

#include <QDesktopServices>
#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

#include "TabloraVersion.h"

class QFrame;
class QLabel;
class QPushButton;
class TLinkLabel;

// The project's contact data shown in the About window.
namespace project {
inline const QString Name = QStringLiteral("Projekt Tablora");
inline const QString AddressLine1 = QStringLiteral("Vzorová 1");
inline const QString AddressLine2 = QStringLiteral("000 00 Vzorovo");
inline const QString Phone1 = QStringLiteral("Tel.: +421 000 000 001");
inline const QString Phone2 = QStringLiteral("Mobil: +421 900 000 001");
inline const QString WebAddress = QStringLiteral("www.tablora.example");
inline const QString MailAddress = QStringLiteral("podpora@tablora.example");
inline const QString MailSubject = QStringLiteral("Tablora %1").arg(QLatin1String(tablora::ShortVersion));
}  // namespace project

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner = nullptr);

    QFrame* Panel2 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QFrame* Shape1 = nullptr;
    QLabel* Image3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    TLinkLabel* WWWLinkLbl = nullptr;
    QLabel* Label14 = nullptr;
    TLinkLabel* MailtoLbl = nullptr;
    QPushButton* CloseBtn = nullptr;

    void WWWLinkLblClick();
    void MailtoLblClick();

    // Asks the desktop to open a link; false when nothing opened it (no browser or mail
    // program set up). Replaceable, so that tests need no desktop.
    std::function<bool(const QUrl&)> OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// Shows the About window modally over its owner and releases it when it closes.
void ShowAboutBox(QWidget* owner);
