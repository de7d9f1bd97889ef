#include "tools/common/RebuildReportText.h"

#include "platform/rtl/Messages.h"

#include <filesystem>

namespace tools {

namespace {

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

using rtl::TMsg;

std::string Rows(std::uint64_t n) { return rtl::FormatCount(n, TMsg::CliRowsOne, TMsg::CliRowsFew, TMsg::CliRowsMany); }

} // namespace

void PrintRebuildReport(std::ostream& out, const tutil::TRebuildReport& r) {
    out << FileName(r.TablePath) << ": " << rtl::Text(r.Rebuilt ? TMsg::ReportRebuilt : TMsg::ReportNotRebuilt);
    if (r.Rebuilt && r.RowsNotFound > 0)
        out << rtl::Format(r.RowsNotFound == 1 ? TMsg::ReportNotFoundOne : TMsg::ReportNotFoundMany,
                           {Rows(r.RowsNotFound)});
    out << "\n";
    if (!r.Rebuilt && !r.Failure.empty()) out << rtl::Format(TMsg::ReportReason, {r.Failure}) << "\n";
    if (!r.StructureFrom.empty()) out << rtl::Format(TMsg::ReportStructureFrom, {r.StructureFrom}) << "\n";
    // A header wiped whole makes every block a finding of its own: the first ones tell the
    // kind, the JSON output holds them all.
    constexpr std::size_t ShownProblems = 20;
    for (std::size_t i = 0; i < r.Problems.size() && i < ShownProblems; ++i)
        out << rtl::Format(TMsg::CheckDamageLine, {r.Problems[i]}) << "\n";
    if (r.Problems.size() > ShownProblems)
        out << rtl::Format(TMsg::CheckDamageMore, {std::to_string(r.Problems.size() - ShownProblems)}) << "\n";
    const std::uint64_t read = r.RowsInChain + r.RowsOutsideChain;
    if (r.Rebuilt || read > 0) {
        out << rtl::Format(TMsg::ReportRead, {Rows(read), std::to_string(r.RowsInChain), std::to_string(r.RowsOutsideChain),
                                              std::to_string(r.HeaderRecordCount)})
            << "\n";
        out << rtl::Format(TMsg::ReportKept, {Rows(r.RowsKept)}) << "\n";
        out << rtl::Format(TMsg::ReportMoved, {Rows(r.RowsToKeyViolations), Rows(r.RowsToProblems)}) << "\n";
        if (r.BlobsLost > 0) out << rtl::Format(TMsg::ReportBlobsLost, {std::to_string(r.BlobsLost)}) << "\n";
        if (r.AutoIncrementAfter != r.AutoIncrementBefore)
            out << rtl::Format(TMsg::ReportCounter,
                               {std::to_string(r.AutoIncrementBefore), std::to_string(r.AutoIncrementAfter)})
                << "\n";
    }
    for (const auto& name : r.RebuiltIndexes) out << rtl::Format(TMsg::ReportIndexRebuilt, {name}) << "\n";
    for (const auto& d : r.DroppedIndexes) out << rtl::Format(TMsg::ReportIndexDropped, {d.Name, d.Reason}) << "\n";
    if (!r.CompanionDirectory.empty()) {
        out << rtl::Format(TMsg::ReportCompanions, {r.CompanionDirectory}) << "\n";
        if (!r.BackupFiles.empty()) {
            out << rtl::Text(TMsg::ReportBackupFiles);
            for (const auto& f : r.BackupFiles) out << " " << FileName(f);
            out << "\n";
        }
        if (!r.KeyViolationTable.empty())
            out << rtl::Format(TMsg::ReportKeyViolations, {FileName(r.KeyViolationTable), Rows(r.RowsToKeyViolations)})
                << "\n";
        if (!r.ProblemTable.empty())
            out << rtl::Format(TMsg::ReportProblemRows, {FileName(r.ProblemTable), Rows(r.RowsToProblems + r.BlobsLost)})
                << "\n";
    }
}

TJson RebuildReportJson(const tutil::TRebuildReport& r) {
    TJson json;
    json["table"] = r.TablePath;
    json["rebuilt"] = r.Rebuilt;
    if (!r.Failure.empty()) json["failure"] = r.Failure;
    if (!r.StructureFrom.empty()) json["structureFrom"] = r.StructureFrom;
    json["damage"] = r.Problems;
    json["headerRecordCount"] = r.HeaderRecordCount;
    json["rowsInChain"] = r.RowsInChain;
    json["rowsOutsideChain"] = r.RowsOutsideChain;
    json["rowsKept"] = r.RowsKept;
    json["rowsToKeyViolations"] = r.RowsToKeyViolations;
    json["rowsToProblems"] = r.RowsToProblems;
    json["rowsNotFound"] = r.RowsNotFound;
    json["blobsLost"] = r.BlobsLost;
    json["autoIncrementBefore"] = r.AutoIncrementBefore;
    json["autoIncrementAfter"] = r.AutoIncrementAfter;
    json["rebuiltIndexes"] = r.RebuiltIndexes;
    json["droppedIndexes"] = TJson::array();
    for (const auto& d : r.DroppedIndexes) json["droppedIndexes"].push_back({{"name", d.Name}, {"reason", d.Reason}});
    json["companionDirectory"] = r.CompanionDirectory;
    json["backupFiles"] = r.BackupFiles;
    json["keyViolationTable"] = r.KeyViolationTable;
    json["problemTable"] = r.ProblemTable;
    return json;
}

} // namespace tools
