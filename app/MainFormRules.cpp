// The main window's start-up, its control rules and the reloads of the table lists.
#include "app/MainForm.h"

#include "app/PathEdit.h"
#include "app/RadioButton.h"
#include "app/SplashFrm.h"
#include "app/StandardErrorBox.h"
#include "app/TableDisplayNames.h"
#include "database/OrvDatabaseModule.h"
#include "platform/rtl/AppLocations.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <memory>
#include <vector>

namespace app {

namespace {

// Sets a flag for one scope and puts it to `after` however the scope is left.
class TFlagScope {
public:
    TFlagScope(bool& flag, bool during, bool after) : flag_(flag), after_(after) { flag_ = during; }
    ~TFlagScope() { flag_ = after_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool after_;
};

// The names of a comma text in the order a person looks for them: without regard to letter
// case ("brany" beside "Brany", not after "Zakaznici"); names differing only in case keep a
// fixed order.
void SetSortedNames(rtl::TStringList& names, const std::string& commaText) {
    std::vector<std::string> items = rtl::SplitCommaText(commaText);
    std::sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) { return rtl::NameLess(a, b); });
    names.Clear();
    for (std::string& item : items) names.Add(std::move(item));
}

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent), progressTarget_(nullptr), statusPanelTarget_(nullptr, false) {
    CreateControls();
    ConnectHandlers();
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::ConnectHandlers() {
    // Radio buttons speak when they become checked, check boxes on every change, the
    // alias list only on a pick by the user, edits on every change of their text.
    auto onChecked = [this](QAbstractButton* button, void (TMainForm::*handler)()) {
        connect(button, &QAbstractButton::toggled, this, [this, handler](bool checked) {
            if (checked) Guarded([this, handler] { (this->*handler)(); });
        });
    };
    auto onToggled = [this](QAbstractButton* button, void (TMainForm::*handler)()) {
        connect(button, &QAbstractButton::toggled, this,
                [this, handler](bool) { Guarded([this, handler] { (this->*handler)(); }); });
    };
    auto onClicked = [this](QAbstractButton* button, void (TMainForm::*handler)()) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler](bool) { Guarded([this, handler] { (this->*handler)(); }); });
    };
    auto onEdited = [this](QLineEdit* edit, void (TMainForm::*handler)()) {
        connect(edit, &QLineEdit::textChanged, this,
                [this, handler](const QString&) { Guarded([this, handler] { (this->*handler)(); }); });
    };

    onChecked(AliasRBtn, &TMainForm::AliasRBtnChanged);
    // The list tells of every pick, also of the alias already chosen; only a change counts.
    connect(AliasesCbo, &QComboBox::activated, this, [this](int index) {
        if (index == chosenAlias_) return;
        chosenAlias_ = index;
        Guarded([this] { AliasesCboChanged(); });
    });
    onChecked(SourceDirRBtn, &TMainForm::SourceDirRBtnChanged);
    onEdited(SourceDataDirEdt, &TMainForm::SourceDataDirChanged);
    onChecked(NezalohovatRBtn, &TMainForm::NezalohovatRBtnClick);
    onChecked(ZalohovatDirRBtn, &TMainForm::ZalohovatDirRBtnClick);
    onChecked(BackupZipRBtn, &TMainForm::BackupZipRBtnClick);
    onEdited(BackupDirEdt, &TMainForm::BackupDirEdtChange);
    onEdited(BackupZipFileEdt, &TMainForm::BackupZipFileEdtChange);
    onToggled(DeleteIndexesChb, &TMainForm::DeleteIndexesChbClick);
    onToggled(KeyViolationChb, &TMainForm::KeyViolationChbClick);
    onToggled(KontrolaDatabazyChb, &TMainForm::KontrolaDatabazyChbClick);
    onClicked(SelectAllBtn, &TMainForm::SelectAllBtnClick);
    onClicked(DeselectAllBtn, &TMainForm::DeselectAllBtnClick);
    onChecked(RestoreFromDirRBtn, &TMainForm::RestoreFromDirRBtnClick);
    onChecked(RestoreZipFileRBtn, &TMainForm::RestoreZipFileRBtnClick);
    onClicked(BackupBtn, &TMainForm::BackupBtnClick);
    onClicked(RepairDataBtn, &TMainForm::RepairDataBtnClick);
    onClicked(RestoreBtn, &TMainForm::RestoreBtnClick);
    onClicked(PomocnikBtn, &TMainForm::PomocnikBtnClick);
    onClicked(OProgrameBtn, &TMainForm::OProgrameBtnClick);
}

// ---- Start-up and shutdown ----

void TMainForm::FormCreate() {
    ExePath = rtl::WithTrailingSeparator(rtl::WritableProgramDirectory());
    TableDisplayNames.Clear();
    KeyViolationTableNames.Clear();
    DamagedTableNames.Clear();

    {
        TBusyScope busy(*this);
        try {
            auto splash = std::make_unique<TSplashForm>(this);
            splash->show();
            FillTableDisplayNames(TableDisplayNames);
            rtl::TStringList aliases;
            int selected = 0;
            try {
                selected = FillAliasList(aliases);
            } catch (...) {
                // The combo must still offer something to read.
                SetAliasItems({"(none)"}, 0);
                throw;
            }
            SetAliasItems(aliases, selected);
            {
                TFlagScope quiet(HandlersActive, false, true);
                SourceDataDirEdt->setText(QString::fromStdString(AliasDirectoryOf(AliasesCbo->currentText().toStdString())));
            }
            TLabelTarget label(splash->InfoLbl, true);
            TProgressBarTarget bar(splash->ProgressBar1);
            ReloadTableLists(&label, &bar);
            CountSourceTables();
        } catch (...) {
            EmptyTableLists(TListsToEmpty::Both);
        }
    }
    HandlersActive = true;

    Guarded([this] {
        ApplyRepairParams(DefaultRepairParams);
        BackupDirEdt->setText(QString::fromStdString(ExePath + "Backup"));
        BackupZipFileEdt->setText(QString::fromStdString(ExePath + "Backup.zip"));
        RestoreDataDirEdt->setText(QString::fromStdString(ExePath + "Backup"));
        RestoreDataZipFileEdt->setText(QString::fromStdString(ExePath + "Backup.zip"));
        PrepisSuborovCbo->setCurrentIndex(2);
        SetRuleEnabled(BackupBtn, false);
        SelectAllBtn->setEnabled(false);
        DeselectAllBtn->setEnabled(false);
        SetRuleEnabled(RepairDataBtn, false);
        SetRuleEnabled(RestoreBtn, false);
    });
    ResetStatusBar();
    // What the start found of a killed run (a change waiting, read past as the tables stand).
    Guarded([this] { TellInterruptedRuns(); });
}

void TMainForm::FormDestroy() {
    TableDisplayNames.Clear();
    KeyViolationTableNames.Clear();
    DamagedTableNames.Clear();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (Busy())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

// ---- Source rules and reloads ----

void TMainForm::AliasRBtnChanged() {
    if (HandlersActive) SplashReload(TListsToEmpty::KeyViolation, false);
}

void TMainForm::SourceDirRBtnChanged() {
    if (HandlersActive) SplashReload(TListsToEmpty::KeyViolation, false);
}

void TMainForm::SourceDataDirChanged() {
    if (!SourceDirRBtn->isChecked()) return;
    if (!HandlersActive) {
        if (directoryReloadRunning_) directoryChangedMeanwhile_ = true;
        return;
    }
    TFlagScope running(directoryReloadRunning_, true, false);
    // The keys typed meanwhile belong to the field, not to the reload they start.
    inputGate_.LetThrough(SourceDataDirEdt);
    struct TClosePassage {
        TInputGate& gate;
        ~TClosePassage() { gate.LetThrough(nullptr); }
    } closePassage{inputGate_};
    do {
        directoryChangedMeanwhile_ = false;
        SplashReload(TListsToEmpty::KeyViolation, false);
    } while (directoryChangedMeanwhile_ && SourceDirRBtn->isChecked());
}

void TMainForm::AliasesCboChanged() {
    if (AliasRBtn->isChecked() && HandlersActive) SplashReload(TListsToEmpty::Both, true);
}

void TMainForm::SplashReload(TListsToEmpty lists, bool showAliasDirectory) {
    TFlagScope quiet(HandlersActive, false, true);
    TBusyScope busy(*this);
    EmptyTableLists(lists);
    try {
        auto splash = std::make_unique<TSplashForm>(this);
        splash->show();
        TLabelTarget label(splash->InfoLbl, true);
        TProgressBarTarget bar(splash->ProgressBar1);
        ReloadTableLists(&label, &bar);
        CountSourceTables();
    } catch (...) {
        // A source that cannot be read is no error to report: its lists stay empty, and
        // the count of the previous source no longer applies.
        EmptyTableLists(lists);
        SetTableCount(0);
    }
    ResetStatusBar();
    // The lists were read as the tables stand; a change a killed run left waiting is told
    // now, unless the directory is being typed (a box would take the keys): then with the
    // next reload or action.
    if (!directoryReloadRunning_) TellInterruptedRuns();
    if (showAliasDirectory) {
        try {
            SourceDataDirEdt->setText(
                QString::fromStdString(AliasDirectoryOf(AliasesCbo->currentText().toStdString())));
        } catch (...) {
            ShowCurrentError();
        }
    }
}

void TMainForm::CountSourceTables() {
    try {
        RunTask(true, &TMainForm::CountTablesTask);
    } catch (...) {
        SetTableCount(0);
        ResetStatusBar();
    }
}

void TMainForm::EmptyTableLists(TListsToEmpty lists) {
    KeyViolationTableNames.Clear();
    KeyViolationTablesCheckListBox->clear();
    if (lists == TListsToEmpty::Both) {
        DamagedTableNames.Clear();
        DamagedTablesCheckListBox->clear();
    }
}

void TMainForm::ReloadTableLists(ui::ITextTarget* label, ui::IProgressTarget* bar) {
    // Only the source choice is read: a reload works whatever is ticked.
    TRepairParams source = DefaultRepairParams;
    ReadSourceChoice(source);
    auto module = std::make_unique<database::TOrvDatabaseModule>();
    if (source.SourceKind == TSourceKind::Alias)
        module->OpenSourceByAlias(source.SourcePath);
    else if (source.SourceKind == TSourceKind::Directory)
        module->OpenSourceByDirectory(source.SourcePath);
    else
        return;

    try {
        KeyViolationTableNames.Clear();
        DamagedTableNames.Clear();
        module->ProgressBar = bar;
        module->StatusLabel = label;
        module->StatusPanel = nullptr;
        std::string allTables, keyViolationTables;
        module->LoadTableLists(allTables, keyViolationTables);
        SetSortedNames(DamagedTableNames, allTables);
        SetSortedNames(KeyViolationTableNames, keyViolationTables);
    } catch (...) {
        // The check lists show what the name lists hold, also after a failure.
        EmptyTableLists(TListsToEmpty::Both);
        throw;
    }
    module.reset();
    ResetStatusBar();
    FillCheckList(KeyViolationTablesCheckListBox, KeyViolationTableNames);
    FillCheckList(DamagedTablesCheckListBox, DamagedTableNames);
}

void TMainForm::FillCheckList(QListWidget* list, const rtl::TStringList& names) {
    list->clear();
    for (const std::string& name : names) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    ApplyDisplayNames(list);
}

void TMainForm::ApplyDisplayNames(QListWidget* list) {
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        item->setText(QString::fromStdString(DisplayNameOf(item->text().toStdString())));
        item->setToolTip(item->text());  // the whole description, wherever the list is scrolled
    }
}

std::string TMainForm::DisplayNameOf(const std::string& tableName) const {
    return app::DisplayNameOf(TableDisplayNames, tableName);
}

int TMainForm::FillAliasList(rtl::TStringList& items) {
    {
        database::TOrvDatabaseModule module;
        module.ListAliases(items);
    }
    if (items.Empty()) {
        items.Add("(none)");
        return 0;
    }
    const int i = items.IndexOf(DefaultRepairParams.SourcePath);
    return i < 0 ? 0 : i;
}

void TMainForm::SetAliasItems(const rtl::TStringList& items, int selected) {
    AliasesCbo->clear();
    for (const std::string& item : items) AliasesCbo->addItem(QString::fromStdString(item));
    SelectAlias(selected);
}

void TMainForm::SelectAlias(int index) {
    AliasesCbo->setCurrentIndex(index);
    chosenAlias_ = AliasesCbo->currentIndex();
}

std::string TMainForm::AliasDirectoryOf(const std::string& alias) {
    if (alias.empty()) return {};
    database::TOrvDatabaseModule module;
    return module.GetAliasDirectory(alias);
}

// ---- Backup and restore rules ----

void TMainForm::NezalohovatRBtnClick() {
    SetRuleEnabled(BackupBtn, false);
    RestoreFromDirRBtn->setChecked(false);
    RestoreZipFileRBtn->setChecked(false);
}

void TMainForm::ZalohovatDirRBtnClick() {
    SetRuleEnabled(BackupBtn, true);
    RestoreFromDirRBtn->setChecked(true);
}

void TMainForm::BackupZipRBtnClick() {
    SetRuleEnabled(BackupBtn, true);
    RestoreZipFileRBtn->setChecked(true);
}

void TMainForm::BackupDirEdtChange() {
    RestoreDataDirEdt->setText(BackupDirEdt->text());
}

void TMainForm::BackupZipFileEdtChange() {
    RestoreDataZipFileEdt->setText(BackupZipFileEdt->text());
}

void TMainForm::RestoreFromDirRBtnClick() {
    SetRuleEnabled(RestoreBtn, true);
}

void TMainForm::RestoreZipFileRBtnClick() {
    SetRuleEnabled(RestoreBtn, true);
}

// ---- Tool rules ----

void TMainForm::SetToolPanel(QFrame* panel, bool lowered) {
    panel->setFrameShadow(lowered ? QFrame::Sunken : QFrame::Raised);
}

void TMainForm::ListToolClick(QCheckBox* tool, QFrame* panel, QCheckBox* otherListTool) {
    const bool ticked = tool->isChecked();
    if (ticked) {
        DeleteIndexesChb->setChecked(false);
        otherListTool->setChecked(false);
    }
    SetToolPanel(panel, ticked);
    SelectAllBtn->setEnabled(ticked);
    DeselectAllBtn->setEnabled(ticked);
    SetRuleEnabled(RepairDataBtn, ticked);
}

void TMainForm::KeyViolationChbClick() {
    ListToolClick(KeyViolationChb, KeyViolationPanel, KontrolaDatabazyChb);
}

void TMainForm::KontrolaDatabazyChbClick() {
    ListToolClick(KontrolaDatabazyChb, KontrolaDatabazyPanel, KeyViolationChb);
}

void TMainForm::DeleteIndexesChbClick() {
    if (DeleteIndexesChb->isChecked()) {
        KeyViolationChb->setChecked(false);
        KontrolaDatabazyChb->setChecked(false);
        SetToolPanel(KeyViolationPanel, false);
        SetToolPanel(KontrolaDatabazyPanel, false);
        SelectAllBtn->setEnabled(false);
        DeselectAllBtn->setEnabled(false);
        SetRuleEnabled(RepairDataBtn, true);
    } else {
        SelectAllBtn->setEnabled(false);
        DeselectAllBtn->setEnabled(false);
        SetRuleEnabled(RepairDataBtn, false);
    }
}

void TMainForm::SetAllTicks(bool ticked) {
    if (DeleteIndexesChb->isChecked()) return;
    const Qt::CheckState state = ticked ? Qt::Checked : Qt::Unchecked;
    if (KeyViolationChb->isChecked())
        for (int i = 0; i < KeyViolationTablesCheckListBox->count(); ++i)
            KeyViolationTablesCheckListBox->item(i)->setCheckState(state);
    if (KontrolaDatabazyChb->isChecked())
        for (int i = 0; i < DamagedTablesCheckListBox->count(); ++i)
            DamagedTablesCheckListBox->item(i)->setCheckState(state);
}

void TMainForm::SelectAllBtnClick() {
    SetAllTicks(true);
}

void TMainForm::DeselectAllBtnClick() {
    SetAllTicks(false);
}

// ---- Enabling that a running task overrides ----

TMainForm::TBusyScope::TBusyScope(TMainForm& form) : form_(form) {
    if (form_.busyDepth_ == 0) {
        QWidget* focus = QApplication::focusWidget();
        form_.focusBeforeBusy_ = focus && focus->window() == &form_ ? focus : nullptr;
        form_.activeBeforeBusy_ = form_.isActiveWindow();
    }
    ++form_.busyDepth_;
    form_.inputGate_.Close();
    ui::Ui().SetBusyCursor(true);
    form_.RefreshBusyControls();
}

TMainForm::TBusyScope::~TBusyScope() {
    if (form_.busyDepth_ == 1 && form_.activeBeforeBusy_) {
        // The splash window coming and going may have taken the keyboard from the window.
        form_.inputGate_.Flush();
        if (!form_.isActiveWindow()) form_.activateWindow();
    }
    // The input waiting in the queues is dropped while the window still counts as busy.
    form_.inputGate_.Open();
    --form_.busyDepth_;
    form_.RefreshBusyControls();
    ui::Ui().SetBusyCursor(false);
    if (form_.busyDepth_ > 0) return;
    // Disabling the control that started the action moved the focus on (to "Pomocník",
    // where the next Space would open Help): it goes back.
    QWidget* focus = form_.focusBeforeBusy_;
    form_.focusBeforeBusy_ = nullptr;
    if (focus && focus != form_.focusWidget() && focus->isEnabled() && focus->isVisible())
        focus->setFocus(Qt::OtherFocusReason);
}

void TMainForm::SetRuleEnabled(QWidget* control, bool enabled) {
    ruleEnabled_[control] = enabled;
    control->setEnabled(enabled && !HeldWhileBusy(control));
}

bool TMainForm::HeldWhileBusy(const QWidget* control) const {
    // Disabling the field being typed into would hand its focus, and the keys still to
    // come, to another control.
    return Busy() && !(control == SourceDataDirEdt && directoryReloadRunning_);
}

void TMainForm::RefreshBusyControls() {
    for (QWidget* control : {static_cast<QWidget*>(AliasRBtn), static_cast<QWidget*>(AliasesCbo),
                             static_cast<QWidget*>(SourceDirRBtn), static_cast<QWidget*>(SourceDataDirEdt)})
        if (!ruleEnabled_.count(control)) ruleEnabled_[control] = true;
    for (const auto& [control, enabled] : ruleEnabled_) control->setEnabled(enabled && !HeldWhileBusy(control));
    // Its folder dialog would stop the running reload or task until it is closed.
    SourceDataDirEdt->SetBrowseEnabled(!Busy());
}

// ---- Help and About ----

void TMainForm::PomocnikBtnClick() {
    if (OnHelp) OnHelp();
}

void TMainForm::OProgrameBtnClick() {
    if (OnAbout) OnAbout();
}

} // namespace app
