// The main window's controls: names, captions, positions and initial states.
#include "app/MainForm.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"
#include "app/StandardErrorBox.h"
#include "app/StatusPanel.h"
#include "app/WindowFont.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>

#include <type_traits>

#include <vector>

namespace app {
namespace {

// The window's client area: the outer 597 × 414 less a classic frame and title bar.
constexpr int ClientWidth = 589;
constexpr int ClientHeight = 387;
constexpr int StatusBarHeight = 21;

template <typename W>
W* Place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A caption wider than its designed box (another font than the designed one) widens
// the box rather than being cut off.
void FitCaption(QWidget* widget) {
    const int needed = widget->sizeHint().width();
    if (needed > widget->width()) widget->resize(needed, widget->height());
}

QLabel* MakeLabel(const QString& caption, QWidget* parent, const char* name, int left, int top, bool bold) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    if (bold) label->setFont(BoldWindowFont());
    label->move(left, top);
    label->adjustSize();
    return label;
}

// A captioned button of kind B; radio buttons and check boxes are bold, push buttons not.
template <typename B>
B* MakeCaptioned(const QString& caption, QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* button = Place(new B(caption, parent), name, left, top, width, height);
    if constexpr (!std::is_same_v<B, QPushButton>) button->setFont(BoldWindowFont());
    FitCaption(button);
    return button;
}

constexpr auto MakeRadio = MakeCaptioned<TRadioButton>;
constexpr auto MakeCheck = MakeCaptioned<QCheckBox>;
constexpr auto MakeButton = MakeCaptioned<QPushButton>;

QFrame* MakePanel(QWidget* parent, const char* name, int left, int top, int width, int height,
                  QFrame::Shadow shadow) {
    auto* panel = Place(new QFrame(parent), name, left, top, width, height);
    panel->setFrameShape(QFrame::WinPanel);
    panel->setFrameShadow(shadow);
    return panel;
}

QListWidget* MakeCheckList(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* list = Place(new QListWidget(parent), name, left, top, width, height);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // A long description goes on in a second line instead of being cut at the list's edge.
    list->setWordWrap(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideNone);
    return list;
}

QWidget* MakePage(QTabWidget* pages, const char* name, const QString& caption) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    pages->addTab(page, caption);
    return page;
}

} // namespace

void TMainForm::CreateControls() {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tablora"));
    setFont(WindowFont());
    setFixedSize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    UtilsPageControl = Place(new QTabWidget(this), "UtilsPageControl", 0, 0, ClientWidth, 307);
    UtilsPageControl->setUsesScrollButtons(false);
    SourceDataTabSheet = MakePage(UtilsPageControl, "SourceDataTabSheet", QStringLiteral("Zdrojová databáza"));
    BackupTabSheet = MakePage(UtilsPageControl, "BackupTabSheet", QStringLiteral("Zálohovanie databázy"));
    DatabaseUtilTabSheet = MakePage(UtilsPageControl, "DatabaseUtilTabSheet", QStringLiteral("Nástroje databázy"));
    RestoreDatabaseTabSheet = MakePage(UtilsPageControl, "RestoreDatabaseTabSheet", QStringLiteral("Obnova databázy"));
    UtilsPageControl->setCurrentIndex(0);

    CreateSourcePage();
    CreateBackupPage();
    CreateToolsPage();
    CreateRestorePage();
    CreateControlPanel();
}

void TMainForm::CreateSourcePage() {
    QWidget* page = SourceDataTabSheet;
    AliasRBtn = MakeRadio(QStringLiteral("Alias databázy"), page, "AliasRBtn", 6, 6, 116, 17);
    AliasesCbo = Place(new QComboBox(page), "AliasesCbo", 25, 24, 172, 21);
    AliasesCbo->setEditable(false);
    SourceDirRBtn = MakeRadio(QStringLiteral("Adresár databázy"), page, "SourceDirRBtn", 6, 51, 132, 17);
    SourceDataDirEdt =
        Place(new TPathEdit(TPathEdit::TKind::Directory, page), "SourceDataDirEdt", 25, 69, 426, 21);
    TRadioButton::Group({AliasRBtn, SourceDirRBtn});
    AliasRBtn->setChecked(true);
}

void TMainForm::CreateBackupPage() {
    QWidget* page = BackupTabSheet;
    NezalohovatRBtn = MakeRadio(QStringLiteral("Nezálohovať"), page, "NezalohovatRBtn", 6, 6, 107, 17);
    ZalohovatDirRBtn = MakeRadio(QStringLiteral("Do adresára"), page, "ZalohovatDirRBtn", 6, 25, 106, 17);
    BackupDirEdt = Place(new TPathEdit(TPathEdit::TKind::Directory, page), "BackupDirEdt", 25, 45, 426, 21);
    BackupZipRBtn =
        MakeRadio(QStringLiteral("Skomprimovať do súboru (zip)"), page, "BackupZipRBtn", 6, 71, 211, 17);
    BackupZipFileEdt =
        Place(new TPathEdit(TPathEdit::TKind::NewOrExistingFile, page), "BackupZipFileEdt", 25, 91, 426, 21);
    // The designed filter reads "zip files (*.*)" but lists only *.zip; Qt takes the
    // pattern from the parentheses, so they name what is listed.
    BackupZipFileEdt->SetDialog(QStringLiteral("Skomprimovať do súboru"), QStringLiteral("zip files (*.zip)"),
                                QStringLiteral("zip"));
    TRadioButton::Group({NezalohovatRBtn, ZalohovatDirRBtn, BackupZipRBtn});
    NezalohovatRBtn->setChecked(true);

    // The overwrite choice is kept at "Prepísať všetko" and never offered.
    SuboryExistujuLbl = MakeLabel(QStringLiteral("Ak cieľový súbor existuje:"), page, "SuboryExistujuLbl", 8, 127, true);
    SuboryExistujuLbl->setEnabled(false);
    SuboryExistujuLbl->hide();
    PrepisSuborovCbo = Place(new QComboBox(page), "PrepisSuborovCbo", 165, 124, 171, 21);
    PrepisSuborovCbo->addItems({QStringLiteral("Neprepisovať"), QStringLiteral("Opýtať sa na prepis"),
                                QStringLiteral("Prepísať všetko")});
    PrepisSuborovCbo->setEnabled(false);
    PrepisSuborovCbo->hide();

    BackupIndexesChb =
        MakeCheck(QStringLiteral("Zálohovať aj indexy tabuliek"), page, "BackupIndexesChb", 6, 154, 195, 17);
    BackupIndexesChb->setChecked(true);
    BackupBtn = MakeButton(QStringLiteral("&Zálohovať teraz"), page, "BackupBtn", 346, 198, 105, 25);
    SetRuleEnabled(BackupBtn, false);
}

void TMainForm::CreateToolsPage() {
    QWidget* page = DatabaseUtilTabSheet;
    DeleteIndexesChb =
        MakeCheck(QStringLiteral("Vymazanie indexov databázy"), page, "DeleteIndexesChb", 10, 6, 203, 17);

    KeyViolationPanel = MakePanel(page, "KeyViolationPanel", 2, 29, 285, 216, QFrame::Raised);
    Label1 = MakeLabel(QStringLiteral("\"Key violation\" pre vybrané tabuľky:"), KeyViolationPanel, "Label1", 25, 23,
                       true);
    // The check box lies on the panel's top edge as the first line of its title.
    KeyViolationChb = MakeCheck(QStringLiteral("Aktívna kontrola na chybu"), page, "KeyViolationChb", 10, 33, 225, 17);
    KeyViolationChb->setBackgroundRole(QPalette::Button);
    KeyViolationChb->setAutoFillBackground(true);
    KeyViolationTablesCheckListBox = MakeCheckList(page, "KeyViolationTablesCheckListBox", 10, 69, 270, 169);

    KontrolaDatabazyPanel = MakePanel(page, "KontrolaDatabazyPanel", 292, 29, 285, 216, QFrame::Raised);
    Label2 = MakeLabel(QStringLiteral("tabuliek databázy:"), KontrolaDatabazyPanel, "Label2", 28, 23, true);
    DamagedTablesCheckListBox = MakeCheckList(KontrolaDatabazyPanel, "DamagedTablesCheckListBox", 8, 40, 270, 169);
    KontrolaDatabazyChb =
        MakeCheck(QStringLiteral("Kontrola poškodenia vybraných"), page, "KontrolaDatabazyChb", 301, 33, 215, 17);
    KontrolaDatabazyChb->setBackgroundRole(QPalette::Button);
    KontrolaDatabazyChb->setAutoFillBackground(true);

    SelectAllBtn = MakeButton(QStringLiteral("Vybr&ať všetky"), page, "SelectAllBtn", 2, 250, 97, 25);
    DeselectAllBtn = MakeButton(QStringLiteral("&Nevybrať žiadnu"), page, "DeselectAllBtn", 112, 250, 97, 25);
    RepairDataBtn = MakeButton(QStringLiteral("&Vykonať teraz"), page, "RepairDataBtn", 222, 250, 97, 25);
    SelectAllBtn->setEnabled(false);
    DeselectAllBtn->setEnabled(false);
    SetRuleEnabled(RepairDataBtn, false);

    // The keyboard meets each tool before the list it works on, whatever widget holds what.
    const std::vector<QWidget*> order = {DeleteIndexesChb, KeyViolationChb, KeyViolationTablesCheckListBox,
                                         KontrolaDatabazyChb, DamagedTablesCheckListBox, SelectAllBtn,
                                         DeselectAllBtn, RepairDataBtn};
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void TMainForm::CreateRestorePage() {
    QWidget* page = RestoreDatabaseTabSheet;
    RestoreFromDirRBtn = MakeRadio(QStringLiteral("Z adresára"), page, "RestoreFromDirRBtn", 6, 6, 105, 17);
    RestoreDataDirEdt =
        Place(new TPathEdit(TPathEdit::TKind::Directory, page), "RestoreDataDirEdt", 25, 25, 426, 21);
    RestoreZipFileRBtn =
        MakeRadio(QStringLiteral("Zo skomprimovaného súboru (zip)"), page, "RestoreZipFileRBtn", 6, 53, 225, 17);
    RestoreDataZipFileEdt =
        Place(new TPathEdit(TPathEdit::TKind::ExistingFile, page), "RestoreDataZipFileEdt", 25, 73, 426, 21);
    RestoreDataZipFileEdt->SetDialog(QStringLiteral("Obnova zo skomprimovaného súboru"),
                                     QStringLiteral("Zip files (*.zip)"), QStringLiteral("zip"));
    TRadioButton::Group({RestoreFromDirRBtn, RestoreZipFileRBtn});
    DelIndexesBeforeChb =
        MakeCheck(QStringLiteral("Vymazať indexy tabuliek po obnove"), page, "DelIndexesBeforeChb", 6, 107, 235, 17);
    RestoreBtn = MakeButton(QStringLiteral("Obnoviť teraz"), page, "RestoreBtn", 346, 200, 105, 25);
    SetRuleEnabled(RestoreBtn, false);
}

void TMainForm::CreateControlPanel() {
    CtrlPanel = MakePanel(this, "CtrlPanel", -1, 305, 591, 55, QFrame::Sunken);
    CtrlPanel->setFrameShape(QFrame::Panel);
    InfoLbl = MakeLabel(QStringLiteral("Priebeh procesu:"), CtrlPanel, "InfoLbl", 13, 8, true);
    MainProgressBar = Place(new QProgressBar(CtrlPanel), "MainProgressBar", 13, 25, 361, 17);
    MainProgressBar->setRange(0, 100);
    MainProgressBar->setValue(0);
    MainProgressBar->setTextVisible(false);
    PomocnikBtn = MakeButton(QStringLiteral("Pomocník"), CtrlPanel, "PomocnikBtn", 421, 16, 78, 25);
    OProgrameBtn = MakeButton(QStringLiteral("O programe"), CtrlPanel, "OProgrameBtn", 507, 16, 75, 25);

    MainStatusBar = Place(new QStatusBar(this), "MainStatusBar", 0, ClientHeight - StatusBarHeight, ClientWidth,
                          StatusBarHeight);
    MainStatusBar->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(MainStatusBar);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setFixedWidth(150);
    StatusPanel0->setFrameShape(QFrame::Panel);
    StatusPanel0->setFrameShadow(QFrame::Sunken);
    StatusPanel1 = new TStatusPanel(MainStatusBar);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    // At least as designed, and the rest of the bar besides: long table names in the status
    // texts are not cut while the bar has room.
    StatusPanel1->setMinimumWidth(339);
    StatusPanel1->setFrameShape(QFrame::Panel);
    StatusPanel1->setFrameShadow(QFrame::Sunken);
    MainStatusBar->addWidget(StatusPanel0);
    MainStatusBar->addWidget(StatusPanel1, 1);

    progressTarget_ = TProgressBarTarget(MainProgressBar);
    statusPanelTarget_ = TLabelTarget(StatusPanel1, false);
}

} // namespace app
