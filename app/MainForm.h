// The program's only working window: the source database, the backup method, one
// database tool with the tables it works on and the restore source, and the three actions.
// Every action runs as one task on a fresh source database module (RunTask).
#pragma once

#include "app/InputGate.h"
#include "app/QtReportTargets.h"
#include "app/RepairParams.h"
#include "platform/rtl/StringList.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace database {
class TOrvDatabaseModule;
}

namespace app {

class TPathEdit;
class TRadioButton;

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // Builds the controls and runs the start-up sequence; show the window afterwards.
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The Help and About windows belong to the program entry, which sets these.
    std::function<void()> OnHelp;
    std::function<void()> OnAbout;

    // Page control and pages.
    QTabWidget* UtilsPageControl;
    QWidget* SourceDataTabSheet;
    QWidget* BackupTabSheet;
    QWidget* DatabaseUtilTabSheet;
    QWidget* RestoreDatabaseTabSheet;

    // "Zdrojová databáza".
    TRadioButton* AliasRBtn;
    QComboBox* AliasesCbo;
    TRadioButton* SourceDirRBtn;
    TPathEdit* SourceDataDirEdt;

    // "Zálohovanie databázy".
    TRadioButton* NezalohovatRBtn;
    TRadioButton* ZalohovatDirRBtn;
    TPathEdit* BackupDirEdt;
    TRadioButton* BackupZipRBtn;
    TPathEdit* BackupZipFileEdt;
    QLabel* SuboryExistujuLbl;
    QComboBox* PrepisSuborovCbo;
    QCheckBox* BackupIndexesChb;
    QPushButton* BackupBtn;

    // "Nástroje databázy".
    QCheckBox* DeleteIndexesChb;
    QFrame* KeyViolationPanel;
    QLabel* Label1;
    QCheckBox* KeyViolationChb;
    QListWidget* KeyViolationTablesCheckListBox;
    QFrame* KontrolaDatabazyPanel;
    QLabel* Label2;
    QCheckBox* KontrolaDatabazyChb;
    QListWidget* DamagedTablesCheckListBox;
    QPushButton* SelectAllBtn;
    QPushButton* DeselectAllBtn;
    QPushButton* RepairDataBtn;

    // "Obnova databázy".
    TRadioButton* RestoreFromDirRBtn;
    TPathEdit* RestoreDataDirEdt;
    TRadioButton* RestoreZipFileRBtn;
    TPathEdit* RestoreDataZipFileEdt;
    QCheckBox* DelIndexesBeforeChb;
    QPushButton* RestoreBtn;

    // Below the pages.
    QFrame* CtrlPanel;
    QLabel* InfoLbl;
    QProgressBar* MainProgressBar;
    QPushButton* PomocnikBtn;
    QPushButton* OProgrameBtn;
    QStatusBar* MainStatusBar;
    QLabel* StatusPanel0;  // table count
    QLabel* StatusPanel1;  // state of the running task

    // Window state.
    std::string ExePath;  // where the default backups go, with a trailing separator
    rtl::TStringList TableDisplayNames;
    rtl::TStringList KeyViolationTableNames;  // plain names behind the key-violation check list
    rtl::TStringList DamagedTableNames;       // plain names behind the damage-check list
    std::int32_t TableCount = 0;
    bool HandlersActive = false;

    // Repair parameters.
    TRepairParams ReadRepairParams() const;
    void ApplyRepairParams(const TRepairParams& params);
    std::string CheckedTableList(const QListWidget* list, const rtl::TStringList& names) const;
    void TickKeyViolationTables(const std::string& tableList);

    // Tasks.
    using TTaskOperation = void (TMainForm::*)(database::TOrvDatabaseModule&, const TRepairParams&);
    void RunTask(bool openSource, TTaskOperation operation);
    void BackupTask(database::TOrvDatabaseModule& module, const TRepairParams& params);
    void RepairTask(database::TOrvDatabaseModule& module, const TRepairParams& params);
    void RestoreTask(database::TOrvDatabaseModule& module, const TRepairParams& params);
    void CountTablesTask(database::TOrvDatabaseModule& module, const TRepairParams& params);
    // An action: the task, then what it found of killed runs (TellInterruptedRuns), also when
    // the task failed.
    void RunAction(TTaskOperation operation);
    // Shows, in one message box, what the runs since the last call found of earlier runs that
    // were killed (changes completed, left or waiting, leftovers removed), each once.
    void TellInterruptedRuns();
    void ResetStatusBar();
    void SetTableCount(std::int32_t count);
    // What the last task did, as status-bar panel 1 shows it until the next action ("" when
    // the task ended with an error, or none ran).
    const std::string& EndOfTaskText() const { return endOfTaskText_; }

    // Table lists and aliases.
    void ReloadTableLists(ui::ITextTarget* label, ui::IProgressTarget* bar);
    int FillAliasList(rtl::TStringList& items);
    std::string AliasDirectoryOf(const std::string& alias);
    void ApplyDisplayNames(QListWidget* list);
    std::string DisplayNameOf(const std::string& tableName) const;

    // Event handlers.
    void FormCreate();
    void FormDestroy();
    void AliasRBtnChanged();
    void AliasesCboChanged();
    void SourceDirRBtnChanged();
    void SourceDataDirChanged();
    void NezalohovatRBtnClick();
    void ZalohovatDirRBtnClick();
    void BackupZipRBtnClick();
    void BackupDirEdtChange();
    void BackupZipFileEdtChange();
    void DeleteIndexesChbClick();
    void KeyViolationChbClick();
    void KontrolaDatabazyChbClick();
    void SelectAllBtnClick();
    void DeselectAllBtnClick();
    void RestoreFromDirRBtnClick();
    void RestoreZipFileRBtnClick();
    void BackupBtnClick();
    void RepairDataBtnClick();
    void RestoreBtnClick();
    void PomocnikBtnClick();
    void OProgrameBtnClick();

    // True while a task or a reload runs: the action buttons and the source controls are
    // disabled meanwhile, whatever their own rules say.
    bool Busy() const { return busyDepth_ > 0; }

protected:
    // The window cannot be closed while a task or reload runs: closing would end the
    // program's event loops under a running copy or restore.
    void closeEvent(QCloseEvent* event) override;

private:
    // Holds the action buttons and the source controls disabled for one task or reload,
    // so that nothing can start a second module beside the running one; shows the busy
    // cursor and drops the input made meanwhile. The control that had the focus (the one
    // used to start the action) gets it back at the end.
    class TBusyScope {
    public:
        explicit TBusyScope(TMainForm& form);
        ~TBusyScope();
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;

    private:
        TMainForm& form_;
    };
    enum class TListsToEmpty { KeyViolation, Both };

    void CreateControls();
    void CreateSourcePage();
    void CreateBackupPage();
    void CreateToolsPage();
    void CreateRestorePage();
    void CreateControlPanel();
    void ConnectHandlers();

    void ReadSourceChoice(TRepairParams& params) const;
    void SplashReload(TListsToEmpty lists, bool showAliasDirectory);
    void CountSourceTables();
    void EmptyTableLists(TListsToEmpty lists);
    void FillCheckList(QListWidget* list, const rtl::TStringList& names);
    void SetAliasItems(const rtl::TStringList& items, int selected);
    // Selects an alias as the program does: no handler runs, and a later pick of the same
    // alias is no change.
    void SelectAlias(int index);
    void SetRuleEnabled(QWidget* control, bool enabled);
    void RefreshBusyControls();
    bool HeldWhileBusy(const QWidget* control) const;
    void SetToolPanel(QFrame* panel, bool lowered);
    // The rule of a list tool: ticked, it excludes the other tools and offers its list.
    void ListToolClick(QCheckBox* tool, QFrame* panel, QCheckBox* otherListTool);
    void SetAllTicks(bool ticked);

    TInputGate inputGate_{this};
    QPointer<QWidget> focusBeforeBusy_;
    bool activeBeforeBusy_ = false;
    TProgressBarTarget progressTarget_;
    TLabelTarget statusPanelTarget_;
    std::map<QWidget*, bool> ruleEnabled_;
    int busyDepth_ = 0;
    // While the directory field's own reloads run, the field stays enabled and keeps the
    // focus, so that typing goes on; what is typed meanwhile is loaded by one more reload
    // as soon as the running one ends.
    bool directoryReloadRunning_ = false;
    bool directoryChangedMeanwhile_ = false;
    // The alias chosen before the user's latest pick.
    int chosenAlias_ = -1;
    // Set by a task operation: what it did, and what to tell after its error box.
    std::string endOfTaskText_;
    std::function<void()> afterError_;
    void ShowEndOfTask();
};

} // namespace app
