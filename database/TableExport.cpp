#include "database/TableExport.h"

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/tutil/RecordValidation.h"
#include "platform/tutil/RecoveredRows.h"

#include <set>

namespace database {

using namespace engine::paradox;

const char* ExportProblemKindName(TExportProblemKind kind) {
    switch (kind) {
    case TExportProblemKind::Table: return "table";
    case TExportProblemKind::Record: return "record";
    case TExportProblemKind::Value: return "value";
    case TExportProblemKind::Note: return "note";
    default: return "damage";
    }
}

namespace {

// Leaves the reader's loop once the sink refused a row: the table is exported again.
struct TKeyRefused {
    std::string Reason;
};

class TTableExporter {
public:
    TTableExporter(IExportSink& sink, const TExportProgress& progress, TTableExportReport& report)
        : sink_(sink), progress_(progress), report_(report) {}

    void Run(const std::string& directory, const std::string& name) {
        std::unique_ptr<TParadoxTable> table;
        rtl::TAdvisoryLock held;
        try {
            const std::string path = FindDataFile(directory, name);
            if (path.empty()) throw rtl::EError("the table \"" + name + "\" does not exist in \"" + directory + "\"");
            // Our own writers change a table only while they hold it: shared, it stays as it is.
            held = rtl::TAdvisoryLock::Acquire(path, rtl::TLockKind::Shared, "table \"" + name + "\"");
            table = TParadoxTable::Open(path);
        } catch (const std::exception& e) {
            TableProblem(std::string("the table cannot be opened: ") + e.what());
            return;
        }
        TTableHeader h = table->Header();
        if (h.IsEncrypted()) return TableProblem("the table is password-protected; its rows cannot be read");
        const TBlockReading reading = ReadWhereTheBlocksLie(*table);
        if (!reading.Refused.empty()) return TableProblem("the table's field list describes no record: " + reading.Refused);
        const std::string geometryNote = reading.Choice.Changed ? GeometryNote(h, reading.Choice.Geometry) : "";
        h = table->Header();

        int keyFields = h.IsKeyed() ? h.KeyFieldCount : 0;
        const std::uint64_t problemsBefore = report_.Problems;
        for (;;) {
            try {
                ReadRows(*table, keyFields, geometryNote);
                return;
            } catch (const TKeyRefused& refused) {
                sink_.AbandonTable();
                report_.Rows = report_.ValuesLost = report_.DamageFound = 0;
                report_.Problems = problemsBefore;
                report_.KeyDropped = refused.Reason;
                keyFields = 0;
            }
        }
    }

private:
    void Add(const TExportProblem& p) {
        sink_.Problem(p);
        ++report_.Problems;
        if (p.Kind == TExportProblemKind::Value) ++report_.ValuesLost;
        if (p.Kind == TExportProblemKind::Damage) ++report_.DamageFound;
    }

    void TableProblem(const std::string& reason, TExportProblemKind kind = TExportProblemKind::Table) {
        Add(TExportProblem{report_.Table, kind, std::nullopt, std::nullopt, std::nullopt, reason, {}});
    }

    void RecordProblem(const tutil::TRecoveredRow& row, int recordSize, const std::string& reason,
                       TExportProblemKind kind = TExportProblemKind::Record) {
        Add(TExportProblem{report_.Table, kind, row.Block, row.Index, row.Offset, reason,
                           std::string(reinterpret_cast<const char*>(row.Bytes), static_cast<std::size_t>(recordSize))});
    }

    void ReadRows(const TParadoxTable& table, int keyFields, const std::string& geometryNote) {
        const TTableHeader& h = table.Header();
        sink_.BeginTable(report_.Table, h.Fields, keyFields);
        for (const auto& p : table.OpenProblems()) Found(p);
        if (!geometryNote.empty()) TableProblem(geometryNote, TExportProblemKind::Damage);

        TProblemList found;
        tutil::TRecoveredRows rows(table, found);
        const tutil::TRecordChecker checker(h);
        const TRecordDecoder decoder = table.Decoder();
        std::vector<TFieldValue> values;
        std::vector<TBlobFailure> failures;
        std::uint64_t lost = 0;
        rows.ForEach(
            [&](const tutil::TRecoveredRow& row) {
                if (row.Partial) {
                    RecordProblem(row, h.RecordSize, "the record lies partly beyond the end of the file");
                    ++lost;
                    return;
                }
                if (const auto fault = checker.Check(row.Bytes)) {
                    const std::string field =
                        fault->Field >= 0 ? h.Fields[static_cast<std::size_t>(fault->Field)].Name : std::string();
                    RecordProblem(row, h.RecordSize,
                                  "the record cannot be read: field \"" + field + "\" holds no value of its type");
                    ++lost;
                    return;
                }
                failures.clear();
                decoder.Decode(row.Bytes, values, &failures);
                for (const auto& f : failures)
                    RecordProblem(row, h.RecordSize,
                                  "the value of field \"" + h.Fields[static_cast<std::size_t>(f.Field)].Name +
                                      "\" cannot be read (" + f.Reason + "); the row is exported without it",
                                  TExportProblemKind::Value);
                if (std::string refused = sink_.Row(values); !refused.empty()) throw TKeyRefused{std::move(refused)};
                ++report_.Rows;
            },
            [&](std::uint32_t done, std::uint32_t total) {
                if (progress_) progress_(report_.Table, done, total);
            });
        if (std::string refused = sink_.FinishRows(); !refused.empty()) throw TKeyRefused{std::move(refused)};
        for (const auto& p : found) Found(p);
        report_.RecordsLost = lost;
        if (report_.Rows + lost < h.RecordCount) {
            report_.RecordsLost += h.RecordCount - report_.Rows - lost;
            TableProblem(std::to_string(h.RecordCount - report_.Rows - lost) + " rows the header counts were not found",
                         TExportProblemKind::Record);
        }
        if (!report_.KeyDropped.empty())
            TableProblem("exported without its primary key: " + report_.KeyDropped, TExportProblemKind::Note);
        sink_.EndTable();
        report_.Exported = true;
    }

    void Found(const TTableProblem& p) {
        TExportProblem e{report_.Table, TExportProblemKind::Damage, std::nullopt, std::nullopt, std::nullopt, p.Text, {}};
        if (p.Block != 0) e.Block = p.Block;
        if (p.Offset != 0) e.Offset = p.Offset;
        if (!p.File.empty() && !rtl::SameTextAscii(rtl::ChangeFileExt(p.File, ""), report_.Table))
            e.Reason = p.File + ": " + e.Reason;
        Add(e);
    }

    IExportSink& sink_;
    const TExportProgress& progress_;
    TTableExportReport& report_;
};

} // namespace

std::vector<TTableExportReport> ExportTables(const std::string& directory, const std::vector<std::string>& names,
                                             IExportSink& sink, const TExportProgress& progress) {
    std::set<std::string> taken{ExportProblemTable};
    std::vector<TTableExportReport> reports;
    for (const std::string& asked : names) {
        // The name as the file spells it, when there is one.
        std::string name = asked;
        if (const std::string path = FindDataFile(directory, asked); !path.empty())
            name = rtl::ChangeFileExt(rtl::ExtractFileName(path), "");
        // One file per table in --to-csv: names the disk takes for one (letter case) get a number.
        const std::string free = sink.Reserves(name) ? "_" + name : name;
        std::string exportName = free;
        for (int n = 2; taken.count(rtl::FileNameKey(exportName)); ++n) exportName = free + "_" + std::to_string(n);
        taken.insert(rtl::FileNameKey(exportName));

        TTableExportReport report;
        report.Table = exportName;
        if (free != name) {
            sink.Problem(TExportProblem{exportName, TExportProblemKind::Note, std::nullopt, std::nullopt, std::nullopt,
                                        rtl::Format(rtl::TMsg::ExportNameReserved, {name, exportName}), {}});
            ++report.Problems;
        } else if (exportName != name) {
            sink.Problem(TExportProblem{exportName, TExportProblemKind::Note, std::nullopt, std::nullopt, std::nullopt,
                                        "the table \"" + name + "\" is exported as \"" + exportName +
                                            "\": its name was taken (letter case ignored)",
                                        {}});
            ++report.Problems;
        }
        TTableExporter(sink, progress, report).Run(directory, name);
        reports.push_back(std::move(report));
    }
    return reports;
}

} // namespace database
