#include "app/PomocnikForm.h"

#include "app/DialogStyle.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

TPomocnikForm::TPomocnikForm(QWidget* owner)
    : QDialog(owner, FixedDialogFlags) {
    SetUpFixedDialog(*this, QStringLiteral("PomocnikForm"), QStringLiteral("Pomocnik pre Tablora"), 407, 298);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(11, 11, 385, 241);
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setPlainText(HelpLines().join(QLatin1Char('\n')));

    CloseBtn = AddCloseButton(*this, 166, 263);
}

QStringList TPomocnikForm::HelpLines() {
    return {
        QStringLiteral("Postup pri práci s programom:"),
        QString(),
        QStringLiteral("•  Zastavte program, ktorý pracuje s databázou, ktorú chcete opravovať."),
        QStringLiteral("•  V záložke \"Zdrojová databáza\" nastavte zdojovú databázu"),
        QStringLiteral("    (prednastavená je databáza programu OrvanPlus)."),
        QStringLiteral("•  V záložke \"Zálohovanie databázy\" nastavte spôsob zálohovania a"),
        QStringLiteral("   vykonajte zálohu zdrojovej databázy."),
        QStringLiteral("•  V záložke \"Nástroje databázy\" zvolte operáciu (činnosť), ktorú chcete"),
        QStringLiteral("    vykonať. Potom vyberte zaškrtnutím tabuľky, pre ktoré sa má operácia"),
        QStringLiteral("    vykonať."),
        QStringLiteral("    Stlačení tlačidla \"Vykonať teraz\" sa spustí operácia."),
        QStringLiteral("•  V pripade, že vykonanie operácie bude neúspešné, zobrazí sa príslušné"),
        QStringLiteral("   chybové hlásenie. V takom prípade odporúčame vykonať v záložke"),
        QStringLiteral("   \"Obnova databázy\" stlačením tlačidla \"Obnoviť teraz\" obnovu tabuliek"),
        QStringLiteral("    a indexov databázy."),
        QString(),
    };
}

// Every opening starts at the beginning of the instructions.
void TPomocnikForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RichEdit1->moveCursor(QTextCursor::Start);
    RichEdit1->verticalScrollBar()->setValue(RichEdit1->verticalScrollBar()->minimum());
    RichEdit1->horizontalScrollBar()->setValue(RichEdit1->horizontalScrollBar()->minimum());
}

void ShowPomocnik(QWidget* owner) {
    TPomocnikForm form(owner);
    form.exec();
}
