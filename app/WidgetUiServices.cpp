#include "app/WidgetUiServices.h"

#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QTranslator>

#include <map>
#include <string>

namespace app {
namespace {

// Qt's standard buttons in Slovak, for when no catalogue has them.
QString OwnButtonText(const char* english) {
    static const std::map<std::string, const char*> words = {
        {"OK", "OK"},
        {"&OK", "&OK"},
        {"Open", "Otvoriť"},
        {"&Open", "&Otvoriť"},
        {"Save", "Uložiť"},
        {"&Save", "&Uložiť"},
        {"Save All", "Uložiť všetko"},
        {"Don't Save", "Neuložiť"},
        {"Cancel", "Zrušiť"},
        {"&Cancel", "&Zrušiť"},
        {"Close", "Zavrieť"},
        {"&Close", "&Zavrieť"},
        {"Close without Saving", "Zavrieť bez uloženia"},
        {"Apply", "Použiť"},
        {"Reset", "Nastaviť pôvodné"},
        {"Restore Defaults", "Obnoviť štandardné"},
        {"Help", "Pomocník"},
        {"Discard", "Zahodiť"},
        {"&Yes", "Án&o"},
        {"Yes to &All", "Áno pre &všetko"},
        {"&No", "&Nie"},
        {"N&o to All", "Nie pre všetk&o"},
        {"Abort", "Prerušiť"},
        {"Retry", "Skúsiť znova"},
        {"Ignore", "Ignorovať"},
    };
    const auto it = english ? words.find(english) : words.end();
    return it == words.end() ? QString() : QString::fromUtf8(it->second);
}

// Qt 6 looks the standard buttons up under the platform theme, where older catalogues have
// none (they keep them under the button box): this answers from there, or in our own words.
class TStandardButtonTranslator final : public QTranslator {
public:
    TStandardButtonTranslator(const QTranslator* catalogue, QObject* parent)
        : QTranslator(parent), catalogue_(catalogue) {}

    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
        if (qstrcmp(context, "QPlatformTheme") != 0) return {};
        if (catalogue_) {
            const QString translated = catalogue_->translate("QDialogButtonBox", source, disambiguation, n);
            if (!translated.isEmpty()) return translated;
        }
        return OwnButtonText(source);
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator* catalogue_;
};

// A standard button's caption: Qt's translation where it has one, else our own Slovak word.
QString ButtonText(const char* english) {
    const QString translated = QCoreApplication::translate("QPlatformTheme", english);
    if (translated != QLatin1String(english)) return translated;
    const QString own = OwnButtonText(english);
    return own.isEmpty() ? translated : own;
}

// Room in a message box for its caption: the title bar shows it in a bold face (on most
// desktops) beside the icon and the close button, and cuts it where the box is narrower.
constexpr int TitleBarButtonsRoom = 120;

void MakeRoomForCaption(QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + TitleBarButtonsRoom;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

// A message box's frame: a title with the close button, no minimize or maximize buttons.
Qt::WindowFlags MessageBoxFlags() {
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

} // namespace

QString MessageBoxText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

ui::TMsgAnswer TWidgetUiServices::ShowMessage(const ui::TMessageRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowFlags(MessageBoxFlags());
    box.setWindowTitle(QString::fromStdString(request.caption));
    box.setText(MessageBoxText(request.text));
    // The window keeps no log: what a box says can be selected and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    switch (request.icon) {
    case ui::TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case ui::TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case ui::TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    }
    if (request.buttons == ui::TMsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.defaultButton == ui::TMsgAnswer::Yes ? QMessageBox::Yes : QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(ButtonText("&Yes"));
        box.button(QMessageBox::No)->setText(ButtonText("&No"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(ButtonText("OK"));
    }
    MakeRoomForCaption(box);
    // The wait cursor of a running operation must not hide the box's buttons' pointer.
    const bool overridden = busyDepth_ > 0;
    if (overridden) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (overridden) QApplication::restoreOverrideCursor();
    if (request.buttons == ui::TMsgButtons::Ok) return ui::TMsgAnswer::Ok;
    // Closing a question without an answer is the cautious answer.
    return result == QMessageBox::Yes ? ui::TMsgAnswer::Yes : ui::TMsgAnswer::No;
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
    // Dates, numbers and the dialogs' own words follow the window's language.
    QLocale::setDefault(QLocale(QLocale::Slovak, QLocale::Slovakia));
    auto* catalogue = new QTranslator(&application);
    const bool loaded =
        catalogue->load(QStringLiteral("qtbase_sk"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded) {
        delete catalogue;
        catalogue = nullptr;
    }
    // Consulted after the catalogue (the one installed last is asked first).
    QCoreApplication::installTranslator(new TStandardButtonTranslator(catalogue, &application));
    if (catalogue) QCoreApplication::installTranslator(catalogue);
    return loaded;
}

} // namespace app
