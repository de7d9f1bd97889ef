// Pictures of the four pages, and a check that no caption is cut off in the font the
// window ends up with on this machine.
#include "MainFormFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>

namespace apptest {
namespace {

QString Plain(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

// The captions that do not fit into their control.
std::vector<std::string> CutCaptions(const QWidget* window) {
    std::vector<std::string> cut;
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
        const QFontMetrics metrics(w->font());
        int needed = 0;
        QString text;
        if (auto* push = qobject_cast<const QPushButton*>(w)) {
            text = Plain(push->text());
            needed = metrics.horizontalAdvance(text) + 6;
        } else if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
            text = Plain(button->text());
            needed = button->sizeHint().width();
        } else if (auto* label = qobject_cast<const QLabel*>(w)) {
            text = label->text();
            needed = label->sizeHint().width();
            // A status panel keeps its width; its text only has to fit inside it.
            if (label->frameShape() != QFrame::NoFrame) needed = metrics.horizontalAdvance(text) + 2 * label->frameWidth();
        } else {
            continue;
        }
        if (!text.isEmpty() && w->width() < needed)
            cut.push_back(w->objectName().toStdString() + " \"" + text.toStdString() + "\" " +
                          std::to_string(w->width()) + " < " + std::to_string(needed));
    }
    return cut;
}

TEST_F(MainFormTest, EachPageIsPicturedWithNoCaptionCutOff) {
    const std::string dir = MakeBillingDatabase();
    SetAliases({{"Orvan", dir}});
    CreateForm();
    form->show();
    const QDir out(QStringLiteral(TABLORA_SCREENSHOT_DIR));
    ASSERT_TRUE(QDir().mkpath(out.path()));
    const char* names[] = {"1-zdrojova-databaza", "2-zalohovanie", "3-nastroje", "4-obnova"};
    for (int page = 0; page < form->UtilsPageControl->count(); ++page) {
        form->UtilsPageControl->setCurrentIndex(page);
        if (page == 2) form->KontrolaDatabazyChb->setChecked(true);
        const QPixmap picture = form->grab();
        EXPECT_EQ(picture.size(), form->size());
        EXPECT_TRUE(picture.save(out.filePath(QString::fromLatin1(names[page]) + ".png")));
        EXPECT_EQ(CutCaptions(form.get()), std::vector<std::string>{}) << "page " << page;
    }
    const QTabBar* tabs = form->UtilsPageControl->tabBar();
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_GE(tabs->tabRect(i).width(), QFontMetrics(tabs->font()).horizontalAdvance(tabs->tabText(i)))
            << tabs->tabText(i).toStdString();
}

} // namespace
} // namespace apptest
