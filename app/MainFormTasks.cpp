// Reading the controls into one record and back, and running the actions as tasks on a
// fresh source database module.
#include "app/MainForm.h"

#include "app/EndOfTaskText.h"
#include "app/PathEdit.h"
#include "app/RadioButton.h"
#include "app/RepairSummary.h"
#include "app/StandardErrorBox.h"
#include "database/OrvDatabaseModule.h"
#include "database/TableFileSet.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/InterruptedRuns.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/ui/UiServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <memory>

namespace app {

namespace {

// Caption of the message that the key-violation check found no table to check.
constexpr const char* KeyRepairCaption = "Aktívna kontrola na chybu";
// Caption of the backup's own messages.
constexpr const char* BackupCaption = "Záloha súborov databázy";

std::string Slovak(rtl::TMsg id, const std::vector<std::string>& args = {}) {
    return rtl::Format(id, args, rtl::TLanguage::Slovak);
}

bool NoTableIn(database::TOrvDatabaseModule& module) {
    return database::FindTableFiles(module.DatabaseDirectory(), ".db").Empty();
}

} // namespace

// ---- Repair parameters ----

void TMainForm::ReadSourceChoice(TRepairParams& params) const {
    if (AliasRBtn->isChecked()) params.SourceKind = TSourceKind::Alias;
    if (SourceDirRBtn->isChecked()) params.SourceKind = TSourceKind::Directory;
    if (params.SourceKind == TSourceKind::Alias)
        params.SourcePath = AliasesCbo->currentIndex() >= 0 ? AliasesCbo->currentText().toStdString() : std::string();
    else
        params.SourcePath = SourceDataDirEdt->text().toStdString();
}

TRepairParams TMainForm::ReadRepairParams() const {
    TRepairParams params = DefaultRepairParams;
    ReadSourceChoice(params);

    if (ZalohovatDirRBtn->isChecked()) params.BackupKind = TBackupMedium::Directory;
    if (BackupZipRBtn->isChecked()) params.BackupKind = TBackupMedium::ZipArchive;
    if (params.BackupKind == TBackupMedium::Directory) params.BackupTarget = BackupDirEdt->text().toStdString();
    if (params.BackupKind == TBackupMedium::ZipArchive) params.BackupTarget = BackupZipFileEdt->text().toStdString();

    params.OverwriteMode = static_cast<std::uint8_t>(PrepisSuborovCbo->currentIndex() & 0xFF);
    params.BackupIndexes = BackupIndexesChb->isChecked();
    params.DeleteIndexesFlag = DeleteIndexesChb->isChecked();
    params.CheckDamage = KontrolaDatabazyChb->isChecked();
    params.CheckKeyViolations = KeyViolationChb->isChecked();
    if (KontrolaDatabazyChb->isChecked())
        params.TableList = CheckedTableList(DamagedTablesCheckListBox, DamagedTableNames);
    if (KeyViolationChb->isChecked())
        params.TableList = CheckedTableList(KeyViolationTablesCheckListBox, KeyViolationTableNames);

    if (RestoreFromDirRBtn->isChecked()) params.RestoreKind = TBackupMedium::Directory;
    if (RestoreZipFileRBtn->isChecked()) params.RestoreKind = TBackupMedium::ZipArchive;
    if (params.RestoreKind == TBackupMedium::Directory) params.RestoreSource = RestoreDataDirEdt->text().toStdString();
    if (params.RestoreKind == TBackupMedium::ZipArchive) params.RestoreSource = RestoreDataZipFileEdt->text().toStdString();
    params.DeleteIndexesAfterRestore = DelIndexesBeforeChb->isChecked();
    return params;
}

std::string TMainForm::CheckedTableList(const QListWidget* list, const rtl::TStringList& names) const {
    std::string result;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() != Qt::Checked) continue;
        // The name lists are refilled with their check lists, so an item without a name
        // behind it cannot be ticked; guard anyway rather than read past the list.
        if (static_cast<std::size_t>(i) >= names.Count()) break;
        if (!result.empty()) result += ',';
        result += rtl::QuotedItem(names[static_cast<std::size_t>(i)]);
    }
    return result;
}

void TMainForm::TickKeyViolationTables(const std::string& tableList) {
    QListWidget* list = KeyViolationTablesCheckListBox;
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
    for (const std::string& name : rtl::SplitCommaText(tableList)) {
        const int i = KeyViolationTableNames.IndexOf(name);
        if (i >= 0 && i < list->count()) list->item(i)->setCheckState(Qt::Checked);
    }
}

void TMainForm::ApplyRepairParams(const TRepairParams& params) {
    // Every control whose state changes runs its own rule through its signal.
    if (params.SourceKind == TSourceKind::Directory) {
        SourceDirRBtn->setChecked(true);
        SourceDataDirEdt->setText(QString::fromStdString(params.SourcePath));
    } else {
        AliasRBtn->setChecked(true);
        if (params.SourceKind == TSourceKind::Alias) {
            const int i = AliasesCbo->findText(QString::fromStdString(params.SourcePath), Qt::MatchFixedString);
            if (i >= 0) SelectAlias(i);
        }
    }

    if (params.BackupKind == TBackupMedium::Directory) {
        ZalohovatDirRBtn->setChecked(true);
        BackupDirEdt->setText(QString::fromStdString(params.BackupTarget));
    } else if (params.BackupKind == TBackupMedium::ZipArchive) {
        BackupZipRBtn->setChecked(true);
        BackupZipFileEdt->setText(QString::fromStdString(params.BackupTarget));
    } else {
        NezalohovatRBtn->setChecked(true);
    }

    PrepisSuborovCbo->setCurrentIndex(params.OverwriteMode);
    BackupIndexesChb->setChecked(params.BackupIndexes);
    DeleteIndexesChb->setChecked(params.DeleteIndexesFlag);
    KontrolaDatabazyChb->setChecked(params.CheckDamage);
    KeyViolationChb->setChecked(params.CheckKeyViolations);
    TickKeyViolationTables(params.TableList);

    if (params.RestoreKind == TBackupMedium::Directory) {
        RestoreFromDirRBtn->setChecked(true);
        RestoreDataDirEdt->setText(QString::fromStdString(params.RestoreSource));
    } else if (params.RestoreKind == TBackupMedium::ZipArchive) {
        RestoreZipFileRBtn->setChecked(true);
        RestoreDataZipFileEdt->setText(QString::fromStdString(params.RestoreSource));
    }
    DelIndexesBeforeChb->setChecked(params.DeleteIndexesAfterRestore);
}

// ---- Task runner ----

void TMainForm::RunTask(bool openSource, TTaskOperation operation) {
    const TRepairParams params = ReadRepairParams();
    TBusyScope busy(*this);
    auto module = std::make_unique<database::TOrvDatabaseModule>();
    endOfTaskText_.clear();
    afterError_ = nullptr;
    try {
        module->ProgressBar = &progressTarget_;
        module->StatusLabel = nullptr;
        module->StatusPanel = &statusPanelTarget_;
        bool run = true;
        if (openSource) {
            if (params.SourceKind == TSourceKind::Alias)
                module->OpenSourceByAlias(params.SourcePath);
            else if (params.SourceKind == TSourceKind::Directory)
                module->OpenSourceByDirectory(params.SourcePath);
            else
                run = false;
        }
        if (run) (this->*operation)(*module, params);
        // A restore a killed run left was completed on the way: said once.
        if (module->InterruptedRestore.Completed) {
            std::string tables;
            for (const std::string& t : module->InterruptedRestore.TablesRestored)
                tables += (tables.empty() ? "\"" : ", \"") + t + "\"";
            ui::ShowInformation(rtl::Text(rtl::TMsg::InterruptedRestoreCaption),
                                rtl::Format(rtl::TMsg::InterruptedRestoreCompleted,
                                            {module->InterruptedRestore.Source, tables}));
        }
    } catch (...) {
        module.reset();
        ResetStatusBar();
        if (!afterError_) throw;
        // What the task did before the error is told after it, never before it.
        ShowCurrentError();
        const std::function<void()> after = std::move(afterError_);
        afterError_ = nullptr;
        after();
        ShowEndOfTask();
        return;
    }
    module.reset();
    ResetStatusBar();
    ShowEndOfTask();
}

void TMainForm::ShowEndOfTask() {
    // Kept until the next action puts the idle texts back.
    if (!endOfTaskText_.empty()) StatusPanel1->setText(QString::fromStdString(endOfTaskText_));
}

void TMainForm::BackupTask(database::TOrvDatabaseModule& module, const TRepairParams& params) {
    if (params.BackupKind != TBackupMedium::Directory && params.BackupKind != TBackupMedium::ZipArchive) return;
    const std::string& target = params.BackupTarget;
    if (target.find_first_not_of(" \t") == std::string::npos) {
        // An empty name would mean the process's working directory.
        ui::ShowWarning(BackupCaption,
                        Slovak(params.BackupKind == TBackupMedium::Directory ? rtl::TMsg::WinBackupNoDirectory : rtl::TMsg::WinBackupNoZipName));
        endOfTaskText_ = BackupNotDoneText();
        return;
    }
    if (params.BackupKind == TBackupMedium::Directory) {
        module.BackupToDirectory(target, params.BackupIndexes, CopyModeOf(params.OverwriteMode));
    } else {
        module.BackupToZip(target, params.BackupIndexes, CopyModeOf(params.OverwriteMode));
        if (!module.LastBackup.ArchiveWritten) {  // its message said why
            endOfTaskText_ = BackupNotDoneText();
            return;
        }
    }
    endOfTaskText_ = BackupDoneText(module.LastBackup);
    // A name without a folder lands in the working directory, which the user never chose.
    if (rtl::ExtractFileDir(target).empty())
        ui::ShowInformation(BackupCaption, Slovak(params.BackupKind == TBackupMedium::Directory ? rtl::TMsg::WinBackupDirWhere
                                                                         : rtl::TMsg::WinBackupZipWhere,
                                                  {rtl::AbsolutePath(target)}));
}

void TMainForm::RepairTask(database::TOrvDatabaseModule& module, const TRepairParams& params) {
    const std::vector<std::string> ticked = rtl::SplitCommaText(params.TableList);
    if (params.DeleteIndexesFlag) {
        const bool none = NoTableIn(module);
        module.DeleteIndexes();
        endOfTaskText_ = none ? Slovak(rtl::TMsg::WinNoTableFound) : IndexDeletionText(module.LastIndexDeletion);
    }
    if (params.CheckDamage) {
        const bool none = NoTableIn(module);
        // A table refused for its header may take its structure from the backup chosen on
        // "Zálohovanie databázy", once the user says so.
        const bool backupChosen = params.BackupKind == TBackupMedium::Directory ||
                                  params.BackupKind == TBackupMedium::ZipArchive;
        if (backupChosen && params.BackupTarget.find_first_not_of(" \t") != std::string::npos)
            module.StructureFrom = {database::TStructureChoice::TKind::Backup, params.BackupTarget, true};
        module.CheckAndRebuildTables(params.TableList);
        ShowSummary(DamageSummaryCaption, DamageCheckSummary(module.RebuildReports, ticked));
        endOfTaskText_ = ticked.empty() ? Slovak(rtl::TMsg::WinNoTableTicked)
                         : none         ? Slovak(rtl::TMsg::WinNoTableFound)
                                        : DamageCheckEndText(module.RebuildReports, ticked.size());
    }
    if (params.CheckKeyViolations) {
        if (!module.TablesFound(KeyRepairCaption)) {
            endOfTaskText_ = Slovak(rtl::TMsg::WinNoTableFound);
            return;
        }
        try {
            module.RepairKeyViolations(params.TableList);
        } catch (...) {
            // The tables recreated before the error are told as well, after the error itself.
            const std::string summary = KeyRepairSummary(module.KeyRepairOutcomes);
            endOfTaskText_ = Slovak(rtl::TMsg::WinKeyRepairFailed);
            afterError_ = [summary] { ShowSummary(KeyRepairSummaryCaption, summary); };
            throw;
        }
        ShowSummary(KeyRepairSummaryCaption, KeyRepairSummary(module.KeyRepairOutcomes));
        endOfTaskText_ = ticked.empty() ? Slovak(rtl::TMsg::WinNoTableTicked) : KeyRepairEndText(module.KeyRepairOutcomes);
    }
}

void TMainForm::RestoreTask(database::TOrvDatabaseModule& module, const TRepairParams& params) {
    // A restore that restored nothing (it said why) ends the task as a failed one would: the
    // indexes of the live tables stay. With no restore source chosen only the indexes go.
    bool restored = true;
    if (params.RestoreKind == TBackupMedium::Directory)
        restored = module.RestoreFromDirectory(params.RestoreSource, database::CopyModeReplace);
    else if (params.RestoreKind == TBackupMedium::ZipArchive)
        restored = module.RestoreFromZip(params.RestoreSource);
    const bool deleteIndexes = restored && params.DeleteIndexesAfterRestore;
    if (deleteIndexes) module.DeleteIndexes();
    if (params.RestoreKind == TBackupMedium::Directory || params.RestoreKind == TBackupMedium::ZipArchive) {
        database::TOrvDatabaseModule::TRestoreReport report = module.LastRestore;
        if (report.Source.empty()) report.Source = params.RestoreSource;
        endOfTaskText_ = RestoreEndText(restored, report, deleteIndexes ? &module.LastIndexDeletion : nullptr);
    } else {
        endOfTaskText_ = deleteIndexes ? IndexDeletionText(module.LastIndexDeletion)
                                       : Slovak(rtl::TMsg::WinRestoreNothingChosen);
    }
}

void TMainForm::CountTablesTask(database::TOrvDatabaseModule& module, const TRepairParams&) {
    int count = 0;
    try {
        count = module.CountTables();
    } catch (const engine::EDatabaseError&) {
        SetTableCount(0);
        ResetStatusBar();
        return;
    }
    SetTableCount(count);
}

void TMainForm::RunAction(TTaskOperation operation) {
    try {
        RunTask(true, operation);
    } catch (...) {
        TellInterruptedRuns();
        throw;
    }
    TellInterruptedRuns();
}

void TMainForm::TellInterruptedRuns() {
    const std::vector<engine::TRunNotice> notices = engine::TakeRunNotices();
    if (notices.empty()) return;
    std::string text;
    bool warn = false;
    for (const auto& n : notices) {
        text += (text.empty() ? "" : "\r\n\r\n") + engine::RunNoticeText(n);
        warn = warn || n.Kind == engine::TRunNotice::TKind::ChangeLeft || n.Kind == engine::TRunNotice::TKind::LinkLeftAlone ||
               (n.Kind == engine::TRunNotice::TKind::ChangePending && !n.Detail.empty());
    }
    const std::string caption = rtl::Text(rtl::TMsg::RunNoticeCaption);
    if (warn) ui::ShowWarning(caption, text);
    else ui::ShowInformation(caption, text);
}

void TMainForm::BackupBtnClick() {
    RunAction(&TMainForm::BackupTask);
}

void TMainForm::RepairDataBtnClick() {
    RunAction(&TMainForm::RepairTask);
}

void TMainForm::RestoreBtnClick() {
    RunAction(&TMainForm::RestoreTask);
}

// ---- Status bar ----

void TMainForm::ResetStatusBar() {
    const std::string count = TableCount > 0 ? std::to_string(TableCount) : std::string("(neurčený)");
    StatusPanel0->setText(QString::fromStdString("Počet tabuliek: " + count));
    StatusPanel1->setText(QStringLiteral("Stav: (nečinný)"));
}

void TMainForm::SetTableCount(std::int32_t count) {
    if (count == TableCount) return;
    TableCount = count;
    ResetStatusBar();
}

} // namespace app
