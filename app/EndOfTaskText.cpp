#include "app/EndOfTaskText.h"

#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <cstdio>

namespace app {

namespace {

using rtl::TMsg;
using TKeyResult = database::TOrvDatabaseModule::TKeyRepairOutcome::TResult;

// The window speaks Slovak whatever the process language.
std::string Slovak(TMsg id, const std::vector<std::string>& args = {}) {
    return rtl::Format(id, args, rtl::TLanguage::Slovak);
}

std::string Counted(std::uint64_t n, TMsg one, TMsg few, TMsg many) {
    return rtl::FormatCount(n, one, few, many, rtl::TLanguage::Slovak);
}

} // namespace

std::string FilesText(std::uint64_t count) {
    return Counted(count, TMsg::WinFilesOne, TMsg::WinFilesFew, TMsg::WinFilesMany);
}

std::string TablesText(std::uint64_t count) {
    return Counted(count, TMsg::WinTablesOne, TMsg::WinTablesFew, TMsg::WinTablesMany);
}

std::string SizeText(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    std::string s = text;
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string BackupDoneText(const database::TOrvDatabaseModule::TBackupReport& report) {
    return Slovak(TMsg::WinBackupDone, {FilesText(static_cast<std::uint64_t>(report.Files)), SizeText(report.Bytes)});
}

std::string BackupNotDoneText() { return Slovak(TMsg::WinBackupNotDone); }

std::string RestoreEndText(bool restored, const database::TOrvDatabaseModule::TRestoreReport& report,
                           const database::TOrvDatabaseModule::TIndexDeletionReport* indexes) {
    if (!restored) return Slovak(TMsg::WinRestoreNotDone);
    std::string text = Slovak(TMsg::WinRestoreDone, {TablesText(report.TablesRestored.size()), report.Source});
    text += Slovak(TMsg::WinRestoreLiveRowsReplaced, {std::to_string(report.LiveRowsReplaced)});
    if (!report.TablesLeft.empty()) text += Slovak(TMsg::WinRestoreTablesLeft, {TablesText(report.TablesLeft.size())});
    if (indexes) text += Slovak(TMsg::WinIndexesDeletedAfter, {FilesText(indexes->FilesDeleted.size())});
    return text;
}

std::string IndexDeletionText(const database::TOrvDatabaseModule::TIndexDeletionReport& report) {
    return Slovak(TMsg::WinIndexesDeleted,
                  {FilesText(report.FilesDeleted.size()), std::to_string(report.Tables)});
}

std::string DamageCheckEndText(const std::vector<tutil::TRebuildReport>& reports, std::size_t ticked) {
    std::size_t rebuilt = 0;
    for (const auto& r : reports) rebuilt += r.Rebuilt ? 1 : 0;
    // The table the run stopped at was looked at; those after it were not.
    const std::size_t unchecked = ticked > reports.size() ? ticked - reports.size() : 0;
    if (!reports.empty() && !reports.back().Rebuilt)
        return Slovak(TMsg::WinDamageCheckStopped,
                      {rtl::ExtractFileName(reports.back().TablePath), TablesText(unchecked)});
    if (rebuilt < ticked) return Slovak(TMsg::WinDamageCheckFailed, {TablesText(unchecked)});
    return Slovak(TMsg::WinDamageCheckDone, {std::to_string(rebuilt)});
}

std::string KeyRepairEndText(const std::vector<database::TOrvDatabaseModule::TKeyRepairOutcome>& outcomes) {
    std::size_t passed = 0, recreated = 0, failed = 0;
    for (const auto& o : outcomes) {
        passed += o.Result == TKeyResult::Passed ? 1 : 0;
        recreated += o.Result == TKeyResult::Repaired ? 1 : 0;
        failed += o.Result == TKeyResult::CopyFailed || o.Result == TKeyResult::Error ? 1 : 0;
    }
    std::string text = Slovak(TMsg::WinKeyRepairDone, {std::to_string(passed), std::to_string(recreated)});
    if (failed > 0) text += Slovak(TMsg::WinKeyRepairNotRepaired, {std::to_string(failed)});
    return text;
}

} // namespace app
