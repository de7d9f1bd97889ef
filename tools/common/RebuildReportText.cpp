#include "tools/common/RebuildReportText.h"

#include <filesystem>

namespace tools {

namespace {

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string Rows(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

} // namespace

void PrintRebuildReport(std::ostream& out, const tutil::TRebuildReport& r) {
    out << FileName(r.TablePath) << ": " << (r.Rebuilt ? "rebuilt" : "not rebuilt");
    if (r.Rebuilt && r.RowsNotFound > 0)
        out << ", but " << Rows(r.RowsNotFound) << " counted by the header " << (r.RowsNotFound == 1 ? "was" : "were")
            << " not found";
    out << "\n";
    if (!r.Rebuilt && !r.Failure.empty()) out << "  reason: " << r.Failure << "\n";
    for (const auto& p : r.Problems) out << "  damage: " << p << "\n";
    const std::uint64_t read = r.RowsInChain + r.RowsOutsideChain;
    if (r.Rebuilt || read > 0) {
        out << "  read: " << Rows(read) << " (" << r.RowsInChain << " through the block chain, " << r.RowsOutsideChain
            << " from blocks outside it; the header said " << r.HeaderRecordCount << ")\n";
        out << "  kept: " << Rows(r.RowsKept) << " in the rebuilt table\n";
        out << "  moved: " << Rows(r.RowsToKeyViolations) << " to KEYVIOL (repeated keys), " << Rows(r.RowsToProblems)
            << " to PROBLEM (unreadable or not placeable)\n";
        if (r.BlobsLost > 0)
            out << "  lost: " << r.BlobsLost
                << " unreadable blob values; their rows were kept without them and recorded in PROBLEM\n";
        if (r.AutoIncrementAfter != r.AutoIncrementBefore)
            out << "  autoincrement counter: " << r.AutoIncrementBefore << " -> " << r.AutoIncrementAfter << "\n";
    }
    for (const auto& name : r.RebuiltIndexes) out << "  index rebuilt: " << name << "\n";
    for (const auto& d : r.DroppedIndexes)
        out << "  index dropped: " << d.Name << " (" << d.Reason << "); the backup keeps it\n";
    if (!r.CompanionDirectory.empty()) {
        out << "  companions in: " << r.CompanionDirectory << "\n";
        if (!r.BackupFiles.empty()) {
            out << "    backup of the original table:";
            for (const auto& f : r.BackupFiles) out << " " << FileName(f);
            out << "\n";
        }
        if (!r.KeyViolationTable.empty())
            out << "    " << FileName(r.KeyViolationTable) << ": " << Rows(r.RowsToKeyViolations)
                << " whose key repeated an earlier row\n";
        if (!r.ProblemTable.empty())
            out << "    " << FileName(r.ProblemTable) << ": " << Rows(r.RowsToProblems + r.BlobsLost)
                << " (reason, field, block, place and raw bytes of each)\n";
    }
}

TJson RebuildReportJson(const tutil::TRebuildReport& r) {
    TJson json;
    json["table"] = r.TablePath;
    json["rebuilt"] = r.Rebuilt;
    if (!r.Failure.empty()) json["failure"] = r.Failure;
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
