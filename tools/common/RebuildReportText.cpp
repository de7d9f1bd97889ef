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

void WriteRebuildReport(TJsonWriter& json, const tutil::TRebuildReport& r) {
    json.Value("table", r.TablePath);
    json.Value("rebuilt", r.Rebuilt);
    if (!r.Failure.empty()) json.Value("failure", r.Failure);
    json.BeginArray("damage");
    for (const auto& p : r.Problems) json.Value("", p);
    json.EndArray();
    json.Value("headerRecordCount", r.HeaderRecordCount);
    json.Value("rowsInChain", r.RowsInChain);
    json.Value("rowsOutsideChain", r.RowsOutsideChain);
    json.Value("rowsKept", r.RowsKept);
    json.Value("rowsToKeyViolations", r.RowsToKeyViolations);
    json.Value("rowsToProblems", r.RowsToProblems);
    json.Value("rowsNotFound", r.RowsNotFound);
    json.Value("blobsLost", r.BlobsLost);
    json.Value("autoIncrementBefore", r.AutoIncrementBefore);
    json.Value("autoIncrementAfter", r.AutoIncrementAfter);
    json.BeginArray("rebuiltIndexes");
    for (const auto& name : r.RebuiltIndexes) json.Value("", name);
    json.EndArray();
    json.BeginArray("droppedIndexes");
    for (const auto& d : r.DroppedIndexes) {
        json.BeginObject();
        json.Value("name", d.Name);
        json.Value("reason", d.Reason);
        json.EndObject();
    }
    json.EndArray();
    json.Value("companionDirectory", r.CompanionDirectory);
    json.BeginArray("backupFiles");
    for (const auto& f : r.BackupFiles) json.Value("", f);
    json.EndArray();
    json.Value("keyViolationTable", r.KeyViolationTable);
    json.Value("problemTable", r.ProblemTable);
}

} // namespace tools
