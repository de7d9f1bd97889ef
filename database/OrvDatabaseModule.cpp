#include "database/OrvDatabaseModule.h"

#include "database/RestoreIntent.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/AppLocations.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/ui/UiServices.h"

namespace database {

namespace {

// What an interrupted restore's completion left undone, for the warning.
std::string InterruptedRestoreText(const TInterruptedRestore& found) {
    const TIntentOutcome& o = found.Outcome;
    std::string tables;
    for (const auto& left : o.Left) tables += "\r\n\"" + left.Table + "\": " + left.Reason;
    for (const std::string& waiting : o.Waiting) tables += "\r\n\"" + waiting + "\"";
    if (found.Source.empty()) return o.Failure;
    return rtl::Format(rtl::TMsg::InterruptedRestoreNotCompleted, {found.Source, o.Failure, tables});
}

} // namespace

TOrvDatabaseModule::TOrvDatabaseModule() {
    SourceSession.SessionName = "SourceSession";
    SourceDatabase.DatabaseName = "SrcDatabase";
    SourceDatabase.DriverName = "STANDARD";
    SourceDatabase.SessionName = "SourceSession";
    TemporaryTable.DatabaseName = "SrcDatabase";
    TemporaryTable.SessionName = "SourceSession";
    TemporaryTable.TableType = engine::TTableType::Paradox;
    MainBatchMove.AbortOnKeyViol = false;
    DataModuleCreate();
    // After the creation, which may raise: a module that was never made tells nothing.
    rtl::SetLockWaitNotice([this](bool waiting, const std::string& text) { NoteLockWait(waiting, text); });
}

TOrvDatabaseModule::~TOrvDatabaseModule() {
    rtl::SetLockWaitNotice(nullptr);
    try {
        DataModuleDestroy();
    } catch (...) {
        // Freeing the module must not fail; closing only releases what this module holds.
    }
}

void TOrvDatabaseModule::DataModuleCreate() {
    if (SourceSession.Active()) SourceSession.Close();
    const std::string programDir = rtl::WritableProgramDirectory();
    std::string privateDir = rtl::WithTrailingSeparator(programDir) + "TempDir";
    if (!rtl::ForceDirectories(privateDir)) privateDir = programDir;
    SourceSession.PrivateDir = privateDir;
    SourceSession.Open();
    SourceDatabase.Temporary = false;
}

void TOrvDatabaseModule::DataModuleDestroy() {
    TemporaryTable.Close();
    SourceDatabase.Close();
    SourceSession.Close();
}

void TOrvDatabaseModule::OpenSourceByAlias(const std::string& alias) {
    if (SourceDatabase.Connected()) SourceDatabase.Close();
    SourceDatabase.Params.SetValue("PATH", GetAliasDirectory(alias));
    // A connection goes either through an alias or through a driver, never both.
    SourceDatabase.DriverName.clear();
    SourceDatabase.AliasName = alias;
    if (!SourceDatabase.Connected()) SourceDatabase.Open();
}

void TOrvDatabaseModule::OpenSourceByDirectory(const std::string& directory) {
    if (SourceDatabase.Connected()) SourceDatabase.Close();
    SourceDatabase.AliasName.clear();
    SourceDatabase.DriverName = "STANDARD";
    SourceDatabase.Params.SetValue("DEFAULT DRIVER", "PARADOX");
    SourceDatabase.Params.SetValue("ENABLE BCD", "FALSE");
    SourceDatabase.Params.SetValue("PATH", directory);
    SourceDatabase.Temporary = false;
    if (!SourceDatabase.Connected()) SourceDatabase.Open();
}

std::string TOrvDatabaseModule::DatabaseDirectory() const {
    const std::string path = SourceDatabase.Params.Value("PATH");
    if (!path.empty()) return path;
    if (!SourceDatabase.AliasName.empty())
        throw rtl::EError(rtl::Format(rtl::TMsg::DbAliasWithoutPath, {SourceDatabase.AliasName}));
    throw rtl::EError(rtl::Text(rtl::TMsg::DbNoSourceDirectory));
}

rtl::TAdvisoryLock TOrvDatabaseModule::LockDatabaseDirectory() const {
    // The engine's lock for writing: changes of table families that a killed run left half
    // done (a restore, a rebuild, a swap) are finished before the run reads or writes the
    // directory, each table then wholly old or wholly new; one that cannot be finished safely
    // is left, and its table with it.
    const std::string directory = DatabaseDirectory();
    rtl::TAdvisoryLock held = engine::paradox::LockDirectoryForFamilies(directory);
    // So is a restore a killed run left half swapped: the database is then wholly restored.
    if (const auto interrupted = CompleteInterruptedRestore(directory)) {
        InterruptedRestore = {};
        InterruptedRestore.Source = interrupted->Source;
        InterruptedRestore.Begun = true;
        InterruptedRestore.TablesRestored = interrupted->Outcome.Restored;
        InterruptedRestore.TablesWaiting = interrupted->Outcome.Waiting;
        for (const auto& left : interrupted->Outcome.Left) InterruptedRestore.TablesLeft.push_back({left.Table, left.Reason});
        InterruptedRestore.Completed = interrupted->Outcome.Finished() && interrupted->Outcome.Left.empty();
        if (!InterruptedRestore.Completed) ui::ShowWarning(rtl::Text(rtl::TMsg::InterruptedRestoreCaption),
                                                           InterruptedRestoreText(*interrupted));
    }
    return held;
}

rtl::TAdvisoryLock TOrvDatabaseModule::HoldDatabaseDirectoryForReading() const {
    const std::string directory = DatabaseDirectory();
    return rtl::TAdvisoryLock::Acquire(directory, rtl::TLockKind::Exclusive,
                                       rtl::Format(rtl::TMsg::LockObjectDatabaseDirectory, {directory}));
}

void TOrvDatabaseModule::ListAliases(rtl::TStringList& list) {
    list.Clear();
    SourceSession.GetAliasNames(list);
}

std::string TOrvDatabaseModule::GetAliasDirectory(const std::string& alias) {
    rtl::TStringList params;
    SourceSession.GetAliasParams(alias, params);
    return params.Value("PATH");
}

void TOrvDatabaseModule::ListTableNames(rtl::TStringList& list, bool withExtensions) {
    list.Clear();
    SourceDatabase.GetTableNames(list, withExtensions);
}

int TOrvDatabaseModule::CountTables() {
    rtl::TStringList names;
    ListTableNames(names, false);
    return static_cast<int>(names.Count());
}

void TOrvDatabaseModule::NoteLockWait(bool waiting, const std::string& text) {
    if (waiting) {
        panelBeforeWait_ = StatusPanel ? StatusPanel->Text() : std::string();
        labelBeforeWait_ = StatusLabel ? StatusLabel->Text() : std::string();
        ShowStatus(text);
        return;
    }
    if (StatusPanel) StatusPanel->SetText(panelBeforeWait_);
    if (StatusLabel) StatusLabel->SetText(labelBeforeWait_);
    ui::Ui().ProcessMessages();
}

} // namespace database
