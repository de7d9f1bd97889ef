#include "app/AboutBox.h"

#include "app/DialogStyle.h"
#include "app/LinkLabel.h"
#include "app/ProgramImages.h"
#include "platform/rtl/Messages.h"
#include "platform/ui/UiServices.h"

#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QUrlQuery>

namespace {

constexpr const char* AboutCaption = "O programe Tablora";

// Opens `url`; when nothing opens it, tells the address, so the user can use it by hand.
void OpenOrTell(const std::function<bool(const QUrl&)>& open, const QUrl& url, rtl::TMsg text,
                const QString& address) {
    if (open && open(url)) return;
    ui::ShowWarning(AboutCaption, rtl::Format(text, {address.toStdString()}, rtl::TLanguage::Slovak));
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

// Links are 9 points and underlined.
TLinkLabel* AddLink(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* link = new TLinkLabel(text, parent);
    link->setObjectName(QString::fromLatin1(name));
    QFont font = DialogFont(9);
    font.setUnderline(true);
    link->setFont(font);
    link->move(x, y);
    link->adjustSize();
    return link;
}

void MakeBold(QLabel* label, int pointSize) {
    QFont font = DialogFont(pointSize);
    font.setBold(true);
    label->setFont(font);
    label->adjustSize();
}

}  // namespace

TAboutBox::TAboutBox(QWidget* owner)
    : QDialog(owner, FixedDialogFlags) {
    SetUpFixedDialog(*this, QStringLiteral("AboutBox"), QStringLiteral("O programe Tablora"), 341, 241);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(8, 9, 326, 192);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    Image2 = new QLabel(Panel2);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(11, 10, 32, 32);
    Image2->setPixmap(ProgramIconPixmap(32));

    Label5 = AddLabel(Panel2, "Label5", QStringLiteral("Tablora"), 119, 7);
    MakeBold(Label5, 9);
    Label1 = AddLabel(Panel2, "Label1", QStringLiteral("pre Windows NT 4.0 / 2000 / XP"), 97, 22);
    MakeBold(Label1, 9);
    Label6 = AddLabel(Panel2, "Label6", QStringLiteral("Verzia %1").arg(QLatin1String(tablora::ShortVersion)), 137, 42);
    Label7 = AddLabel(Panel2, "Label7", QStringLiteral("2009"), 196, 42);

    Shape1 = new QFrame(Panel2);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(11, 79, 85, 36);
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Image3 = new QLabel(Panel2);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(12, 80, 83, 33);
    Image3->setPixmap(ProjectLogo());

    Label2 = AddLabel(Panel2, "Label2", QStringLiteral("Výrobca:"), 110, 66);
    Label8 = AddLabel(Panel2, "Label8", project::Name, 110, 80);
    MakeBold(Label8, 8);
    QPalette navy = Label8->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label8->setPalette(navy);
    Label9 = AddLabel(Panel2, "Label9", project::AddressLine1, 110, 94);
    Label10 = AddLabel(Panel2, "Label10", project::AddressLine2, 110, 107);
    Label11 = AddLabel(Panel2, "Label11", project::Phone1, 110, 121);
    Label12 = AddLabel(Panel2, "Label12", project::Phone2, 110, 134);

    Label13 = AddLabel(Panel2, "Label13", QStringLiteral("WWW:"), 115, 155);
    Label14 = AddLabel(Panel2, "Label14", QStringLiteral("E-MAIL:"), 115, 169);
    WWWLinkLbl = AddLink(Panel2, "WWWLinkLbl", project::WebAddress, 158, 155);
    connect(WWWLinkLbl, &TLinkLabel::clicked, this, &TAboutBox::WWWLinkLblClick);
    MailtoLbl = AddLink(Panel2, "MailtoLbl", project::MailAddress, 158, 169);
    connect(MailtoLbl, &TLinkLabel::clicked, this, &TAboutBox::MailtoLblClick);

    CloseBtn = AddCloseButton(*this, 134, 208);
}

void TAboutBox::WWWLinkLblClick() {
    const QString address = QStringLiteral("https://") + project::WebAddress;
    OpenOrTell(OpenUrl, QUrl(address), rtl::TMsg::WinWebNotOpened, address);
}

void TAboutBox::MailtoLblClick() {
    QUrl mail(QStringLiteral("mailto:") + project::MailAddress);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), project::MailSubject);
    mail.setQuery(query);
    OpenOrTell(OpenUrl, mail, rtl::TMsg::WinMailNotOpened, project::MailAddress);
}

// Escape presses the close button, so the window closes with the same result as a click.
void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CloseBtn->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ShowAboutBox(QWidget* owner) {
    TAboutBox box(owner);
    box.exec();
}
