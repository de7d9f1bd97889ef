// The damage check: every listed table rebuilt in turn, stopping at the first failure.
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/Error.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/ui/UiServices.h"
#include "rebuild/ParadoxTableRebuild.h"

#include <exception>

namespace database {

namespace {

std::string RunCaption() { return rtl::Text(rtl::TMsg::DbRunCaption); }
std::string UnknownErrorText() { return rtl::Text(rtl::TMsg::DbUnknownError); }
std::string RunStoppedText() { return rtl::Text(rtl::TMsg::DbRunStopped); }

// An error's text, never empty: a run that stops must always say so.
std::string TextOf(const std::exception& e) {
    const std::string text = e.what() ? e.what() : "";
    return text.empty() ? UnknownErrorText() : text;
}

} // namespace

void TOrvDatabaseModule::CheckAndRebuildTables(const std::string& tableList) {
    RebuildReports.clear();
    std::string error;
    bool failed = false;
    {
        rtl::TStringList work;
        try {
            // One operation per database directory: no backup, restore or other repair of
            // ours runs on it while its tables are rebuilt.
            const rtl::TAdvisoryLock lock = LockDatabaseDirectory();
            const std::string dir = rtl::WithTrailingSeparator(DatabaseDirectory());
            work.SetCommaText(tableList);
            if (!TablesFound(RunCaption())) work.Clear();
            SetProgress(0, static_cast<int>(work.Count()), 0, "");
            for (std::size_t i = 0; i < work.Count(); ++i) {
                SetProgressPosition(static_cast<int>(i + 1));
                if (RebuildOneTable(dir + work[i] + ".db")) {
                    ui::ShowError(RunCaption(), RunStoppedText());
                    break;
                }
            }
        } catch (const std::exception& e) {
            failed = true;
            error = TextOf(e);
            if (error == UnknownErrorText()) error += "\r\n\r\n" + RunStoppedText();
        } catch (...) {
            // Whatever it was, the run ends here, is reset and says so.
            failed = true;
            error = UnknownErrorText() + "\r\n\r\n" + RunStoppedText();
        }
    }
    SetProgress(0, 100, 0, "");
    if (failed) ui::ShowError(RunCaption(), error);
}

bool TOrvDatabaseModule::RebuildOneTable(const std::string& tablePath) {
    const std::string fileName = rtl::ExtractFileName(tablePath);
    ShowStatus(rtl::Format(rtl::TMsg::DbRebuildingStatus, {fileName}));
    ui::Ui().Pause(500);
    RebuildReports.emplace_back();
    std::string failure;
    try {
        const bool notRebuilt = rebuild::RebuildParadoxTable(tablePath, &RebuildReports.back());
        if (notRebuilt && RebuildReports.back().HeaderRefused && StructureFrom.Kind != TStructureChoice::TKind::None)
            return RebuildWithBackupStructure(tablePath);
        return notRebuilt;
    } catch (const std::exception& e) {
        failure = TextOf(e);
    } catch (...) {
        failure = UnknownErrorText();
    }
    RebuildReports.back().TablePath = tablePath;
    RebuildReports.back().Failure = failure;
    throw rtl::EError(rtl::Format(rtl::TMsg::DbTableNotRebuilt, {fileName, failure, RunStoppedText()}));
}

bool TOrvDatabaseModule::RebuildWithBackupStructure(const std::string& tablePath) {
    const std::string fileName = rtl::ExtractFileName(tablePath);
    std::string why;
    const std::optional<TBackupStructure> found = FindStructure(StructureFrom, fileName, why);
    if (!found) {
        // Asked for by name, a structure that is not there is news; a backup merely chosen
        // for another task that does not hold one is not.
        if (!StructureFrom.Ask)
            rebuild::ShowRepairMessage(rtl::Format(rtl::TMsg::StructureNoStructure, {fileName, why}),
                                       ui::TMsgIcon::Information);
        return true;
    }
    if (StructureFrom.Ask &&
        !ui::AskYesNo(rtl::Text(rtl::TMsg::RebuildCaption),
                      rtl::Format(rtl::TMsg::StructureQuestion,
                                  {fileName, found->BackupName, DatedName("%d.%m.%Y %H:%M", found->Time)}),
                      ui::TMsgIcon::Warning, ui::TMsgAnswer::No))
        return true;
    ShowStatus(rtl::Format(rtl::TMsg::StructureRebuildingStatus, {fileName, found->BackupName}));
    RebuildReports.back() = tutil::TRebuildReport{};
    return rebuild::RebuildParadoxTable(tablePath, &RebuildReports.back(), &found->Source);
}

} // namespace database
