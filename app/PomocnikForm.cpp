#include "app/PomocnikForm.h"

#include "app/DialogStyle.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Narrow faces of the common Linux font packages, in the order we prefer them.
const char* const CondensedFaces[] = {"DejaVu Sans Condensed", "Liberation Sans Narrow", "Nimbus Sans Narrow",
                                      "Arial Narrow"};
// Below this the instructions would be hard to read; they scroll sideways instead.
constexpr int SmallestPixelSize = 9;

int WidestLine(const QFont& font, const QStringList& lines) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

// The box does not wrap and scrolls only up and down, so its font must be narrow enough for
// the longest line: the dialog font where it fits, else a condensed face, made smaller
// step by step if need be.
QFont HelpFont(const QStringList& lines, int room) {
    std::vector<QFont> faces{DialogFont()};
    for (const char* family : CondensedFaces) {
        if (!QFontDatabase::hasFamily(QString::fromLatin1(family))) continue;
        QFont face(QString::fromLatin1(family));
        face.setPointSize(faces.front().pointSize());
        faces.push_back(face);
    }
    for (const QFont& face : faces)
        if (WidestLine(face, lines) <= room) return face;
    QFont narrowest = *std::min_element(faces.begin(), faces.end(), [&lines](const QFont& a, const QFont& b) {
        return WidestLine(a, lines) < WidestLine(b, lines);
    });
    for (int size = QFontInfo(narrowest).pixelSize() - 1; size >= SmallestPixelSize; --size) {
        narrowest.setPixelSize(size);
        if (WidestLine(narrowest, lines) <= room) break;
    }
    return narrowest;
}

} // namespace

TPomocnikForm::TPomocnikForm(QWidget* owner)
    : QDialog(owner, FixedDialogFlags) {
    SetUpFixedDialog(*this, QStringLiteral("PomocnikForm"), QStringLiteral("Pomocnik pre Tablora"), 407, 298);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(11, 11, 385, 241);
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const int room = RichEdit1->width() - 2 * RichEdit1->frameWidth() -
                     RichEdit1->verticalScrollBar()->sizeHint().width() -
                     2 * static_cast<int>(RichEdit1->document()->documentMargin());
    RichEdit1->setFont(HelpFont(HelpLines(), room));
    RichEdit1->setPlainText(HelpLines().join(QLatin1Char('\n')));

    CloseBtn = AddCloseButton(*this, 166, 263);
    FitTextHeight();
}

void TPomocnikForm::FitTextHeight() {
    // The font decides how tall the lines are: the box grows (and the window with it) until
    // the last line shows without scrolling down.
    const int needed = static_cast<int>(std::ceil(RichEdit1->document()->size().height())) +
                       2 * RichEdit1->frameWidth() +
                       (RichEdit1->horizontalScrollBar()->maximum() > 0
                            ? RichEdit1->horizontalScrollBar()->sizeHint().height()
                            : 0);
    const int grow = needed - RichEdit1->height();
    if (grow <= 0) return;
    RichEdit1->resize(RichEdit1->width(), RichEdit1->height() + grow);
    CloseBtn->move(CloseBtn->x(), CloseBtn->y() + grow);
    setFixedSize(width(), height() + grow);
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
