// Pictures of the four pages, and checks that nothing the window shows is cut off in the
// font it ends up with on this machine: no control clipped by what holds it or covered by
// another, every list entry shown whole, every status text inside its panel.
#include "MainFormFixture.h"

#include "app/StatusPanel.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QStatusBar>
#include <QTest>

namespace apptest {
namespace {

// The window's own controls, by the names they were given (Qt's inner parts have none, or
// one beginning with "qt_").
bool IsDesigned(const QWidget* w) {
    return !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"));
}

// A container: designed controls lie inside it (panels, pages, the page control).
bool IsContainer(const QWidget* w) {
    for (const QWidget* child : w->findChildren<QWidget*>())
        if (IsDesigned(child)) return true;
    return false;
}

QRect InWindow(const QWidget* w, const QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

std::string Name(const QWidget* w) {
    return w->objectName().toStdString();
}

// Of two controls that overlap, the one drawn first (lower in the stacking order of the
// widget where their lines of parents meet).
const QWidget* Lower(const QWidget* a, const QWidget* b) {
    std::vector<const QWidget*> chainA;
    for (const QWidget* w = a; w; w = w->parentWidget()) chainA.push_back(w);
    for (const QWidget* below = b, *w = b->parentWidget(); w; below = w, w = w->parentWidget()) {
        const auto at = std::find(chainA.begin(), chainA.end(), w);
        if (at == chainA.begin() || at == chainA.end()) continue;
        const QObjectList& order = w->children();
        return order.indexOf(*(at - 1)) < order.indexOf(below) ? a : b;
    }
    return a;
}

// What the person cannot see whole: a control reaching past what holds it, or one partly
// covered by another control. Only a container may lie under other controls (a check box
// lying on its panel as the panel's title).
std::vector<std::string> HiddenParts(const QWidget* window) {
    std::vector<const QWidget*> shown;
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (IsDesigned(w) && w->isVisibleTo(window)) shown.push_back(w);
    std::vector<std::string> hidden;
    for (const QWidget* w : shown) {
        if (IsContainer(w)) continue;
        for (const QWidget* holder = w->parentWidget(); holder; holder = holder->parentWidget())
            if (!InWindow(holder, window).contains(InWindow(w, window))) {
                hidden.push_back(Name(w) + " reaches past " + (IsDesigned(holder) ? Name(holder) : "its holder"));
                break;
            }
    }
    for (std::size_t i = 0; i < shown.size(); ++i)
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            const QWidget* a = shown[i];
            const QWidget* b = shown[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
            if (!InWindow(a, window).intersects(InWindow(b, window))) continue;
            const QWidget* lower = Lower(a, b);
            if (!IsContainer(lower))
                hidden.push_back(Name(lower) + " is covered by " + Name(lower == a ? b : a));
        }
    return hidden;
}

// Entries of a check list that cannot be seen whole without scrolling sideways (a long
// description goes on in a further line), or lack their full text as a tip.
std::vector<std::string> CutEntries(const QListWidget* list) {
    std::vector<std::string> cut;
    const QStyle* style = list->style();
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        const QRect shown = list->visualItemRect(item);
        const int textWidth = shown.width() - style->pixelMetric(QStyle::PM_IndicatorWidth) -
                              4 * style->pixelMetric(QStyle::PM_FocusFrameHMargin);
        const QRect needed = QFontMetrics(list->font()).boundingRect(QRect(0, 0, textWidth, 10000),
                                                                     Qt::TextWordWrap, item->text());
        if (shown.right() >= list->viewport()->width() || needed.width() > textWidth ||
            shown.height() < needed.height() || item->toolTip() != item->text())
            cut.push_back(item->text().toStdString());
    }
    return cut;
}

// Status texts wider than their fixed panel.
std::vector<std::string> OverfullPanels(const app::TMainForm& form) {
    std::vector<std::string> overfull;
    for (const QLabel* panel : {form.StatusPanel0, form.StatusPanel1}) {
        const int needed = QFontMetrics(panel->font()).horizontalAdvance(panel->text()) + 2 * panel->frameWidth() +
                           2 * panel->margin();
        if (panel->contentsRect().width() + 2 * panel->frameWidth() < needed) overfull.push_back(Name(panel));
    }
    return overfull;
}

TEST_F(MainFormTest, EachPageIsPicturedWithNothingCutOffOrCovered) {
    // Long descriptions, and a name in lower case, in both lists.
    const std::string dir = MakeDatabase("billing", {{"Rparadox/inst/extdata/country.db", "Hovory"},
                                                     {"Rparadox/inst/extdata/mushrooms.db", "tel_zoz"},
                                                     {"Rparadox/inst/extdata/country.db", "TarifyVZonach"},
                                                     {"Rparadox/inst/extdata/country.db", "ZlavyHovorov_det"}});
    AddKeyViolationTable(dir, "Transfer");
    AddKeyViolationTable(dir, "acpmer20");
    SetAliases({{"Orvan", dir}});
    CreateForm();
    form->show();
    ASSERT_EQ(form->DamagedTablesCheckListBox->count(), 6);
    const QDir out(QStringLiteral(TABLORA_SCREENSHOT_DIR));
    ASSERT_TRUE(QDir().mkpath(out.path()));
    const char* names[] = {"1-zdrojova-databaza", "2-zalohovanie", "3-nastroje", "4-obnova"};
    for (int page = 0; page < form->UtilsPageControl->count(); ++page) {
        form->UtilsPageControl->setCurrentIndex(page);
        if (page == 2) form->KontrolaDatabazyChb->setChecked(true);
        const QPixmap picture = form->grab();
        EXPECT_EQ(picture.size(), form->size());
        EXPECT_TRUE(picture.save(out.filePath(QString::fromLatin1(names[page]) + ".png")));
        EXPECT_EQ(HiddenParts(form.get()), std::vector<std::string>{}) << "page " << page;
    }
    EXPECT_EQ(CutEntries(form->DamagedTablesCheckListBox), std::vector<std::string>{});
    EXPECT_EQ(CutEntries(form->KeyViolationTablesCheckListBox), std::vector<std::string>{});
    EXPECT_EQ(OverfullPanels(*form), std::vector<std::string>{});
    const QTabBar* tabs = form->UtilsPageControl->tabBar();
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_GE(tabs->tabRect(i).width(), QFontMetrics(tabs->font()).horizontalAdvance(tabs->tabText(i)))
            << tabs->tabText(i).toStdString();
}

TEST_F(MainFormTest, TheKeyRepairsStatusTextWithALongTableNameHasTheRestOfTheBar) {
    CreateForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // Panel 1 reaches the end of the bar, however wide the designed panels are.
    EXPECT_GE(form->StatusPanel1->width(), 339);
    EXPECT_GE(form->StatusPanel1->geometry().right() + 8, form->MainStatusBar->contentsRect().right());
    const QString status = QString::fromUtf8(
        "Prebieha kontrola a oprava chyby \"Key violation\" pre tabuľku: \"ZlavyHovorov_det.db\"");
    form->StatusPanel1->setText(status);
    // Too long for any bar of this width: the middle gives way, the table name stays.
    auto* panel = dynamic_cast<app::TStatusPanel*>(form->StatusPanel1);
    ASSERT_NE(panel, nullptr);
    const QString shown = panel->ShownText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("\"ZlavyHovorov_det.db\""))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Prebieha"))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(panel->font()).horizontalAdvance(shown), panel->contentsRect().width());
    EXPECT_EQ(panel->text(), status);
    QDir().mkpath(QStringLiteral(TABLORA_SCREENSHOT_DIR));
    form->grab().save(QStringLiteral(TABLORA_SCREENSHOT_DIR "/status-long-name.png"));
}

} // namespace
} // namespace apptest
