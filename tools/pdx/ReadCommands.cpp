// pdx info / dump / verify: the read-only views of one table.
#include "platform/engine/EngineErrors.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "tools/pdx/CommandRegistry.h"
#include "tools/common/JsonOutput.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <sstream>

namespace pdx {

using tools::TJson;

namespace {

using namespace engine::paradox;

// Opens the table argument; prints why it cannot be opened and returns null.
std::unique_ptr<TParadoxTable> OpenArgument(TCommandContext& ctx, const std::string& path) {
    try {
        return OpenTableByPath(path);
    } catch (const engine::EDBEngineError& e) {
        ctx.Err << "pdx: " << e.Message() << "\n";
        return nullptr;
    }
}

// The interrupted change of the table that waits for a writing run, if any: the table was
// read as it stands, which may be half of that change (told on standard error as well).
std::optional<TInterruptedChange> PendingChange(const TParadoxTable& table) {
    const auto found = FindInterruptedChanges(rtl::ExtractFileDir(table.Path()), rtl::ExtractFileName(table.Path()));
    if (found.empty()) return std::nullopt;
    return found.front();
}

TJson ProblemsJson(const TProblemList& problems) {
    TJson json = TJson::array();
    for (const auto& p : problems)
        json.push_back({{"kind", ProblemKindName(p.Kind)},
                        {"file", p.File},
                        {"block", p.Block},
                        {"offset", p.Offset},
                        {"text", p.Text}});
    return json;
}

std::vector<std::string> SplitFields(const std::string& joined) {
    std::vector<std::string> out;
    std::string cur;
    for (const char c : joined) {
        if (c == ';') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!joined.empty()) out.push_back(cur);
    return out;
}

int Info(TCommandContext& ctx, const std::string& path) {
    const auto table = OpenArgument(ctx, path);
    if (!table) return ExitUnreadable;
    const TTableHeader& h = table->Header();
    const TTableReport report = CheckTable(*table);
    TJson json;
    json["file"] = table->Path();
    json["version"] = h.VersionText();
    json["fileVersionCode"] = h.Version;
    json["keyed"] = h.IsKeyed();
    json["blockSize"] = h.BlockSize;
    json["headerSize"] = h.HeaderSize;
    json["recordSize"] = h.RecordSize;
    json["headerRecordCount"] = h.RecordCount;
    json["recordsFound"] = report.RecordsFound;
    json["blocksInUse"] = h.BlocksInUse;
    json["blocksAllocated"] = h.BlocksAllocated;
    json["fields"] = TJson::array();
    for (const auto& f : h.Fields)
        json["fields"].push_back({{"name", f.Name},
                                  {"type", engine::FieldTypeName(FieldTypeFromCode(f.TypeCode))},
                                  {"typeChar", std::string(1, FieldTypeChar(f.TypeCode))},
                                  {"size", f.SizeByte}});
    json["keyFieldCount"] = h.KeyFieldCount;
    json["autoIncrement"] = h.AutoIncrement;
    json["codePage"] = h.CodePage;
    json["sortOrder"] = h.SortOrderName;
    json["sortOrderCode"] = h.SortOrderCode;
    json["encrypted"] = h.IsEncrypted();
    json["indexes"] = TJson::array();
    for (const auto& ix : report.Indexes)
        json["indexes"].push_back({{"name", ix.Name},
                                   {"primary", ix.IsPrimary()},
                                   {"descending", (ix.Options & engine::ixDescending) != 0},
                                   {"fields", SplitFields(ix.Fields)}});
    json["problems"] = ProblemsJson(report.Problems);
    if (const auto change = PendingChange(*table))
        json["interruptedChange"] = {{"completedByNextWrite", change->Reason.empty()}, {"reason", change->Reason}};
    tools::PrintJson(ctx.Out, json);
    return ExitOk;
}

int Dump(TCommandContext& ctx, const std::string& path) {
    const auto table = OpenArgument(ctx, path);
    if (!table) return ExitUnreadable;
    const TTableHeader& h = table->Header();
    if (h.IsEncrypted()) {
        ctx.Err << "pdx: the table is password-protected; its rows cannot be read\n";
        return ExitUnreadable;
    }
    for (std::size_t i = 0; i < h.Fields.size(); ++i) ctx.Out << (i ? "," : "") << rtl::CsvField(h.Fields[i].Name);
    ctx.Out << "\n";

    TProblemList problems = table->OpenProblems();
    const TRecordDecoder decoder = table->Decoder();
    std::vector<TFieldValue> values;
    std::vector<TBlobFailure> failures;
    std::string line;
    table->ForEachRecord(
        [&](const TRecordRef& rec) {
            // A value the end of the file cuts off would print shortened; the cut record is
            // named on standard error instead.
            if (!rec.Whole) {
                problems.push_back(TTableProblem{TProblemKind::Truncated, "", rec.Block, rec.FileOffset,
                                                 "record " + std::to_string(rec.IndexInBlock + 1) +
                                                     " of the block cannot be read whole; it is not printed"});
                return true;
            }
            failures.clear();
            decoder.Decode(rec.Bytes, values, &failures);
            line.clear();
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i) line += ',';
                line += rtl::CsvField(FormatFieldValue(values[i], h.Fields[i].TypeCode));
            }
            // A lone blank cell would be an empty line; quote it so the row stays visible.
            if (line.empty()) line = "\"\"";
            ctx.Out << line << "\n";
            for (const auto& f : failures)
                problems.push_back(TTableProblem{TProblemKind::Blob, "", rec.Block, rec.FileOffset,
                                                 "field \"" + h.Fields[static_cast<std::size_t>(f.Field)].Name +
                                                     "\": " + f.Reason});
            return true;
        },
        problems);
    for (const auto& p : problems) ctx.Err << "pdx: " << p.Describe() << "\n";
    return problems.empty() && !PendingChange(*table) ? ExitOk : ExitProblems;
}

int Verify(TCommandContext& ctx, const std::string& path) {
    const auto table = OpenArgument(ctx, path);
    if (!table) return ExitUnreadable;
    const TTableReport report = CheckTable(*table);
    for (const auto& p : report.Problems) ctx.Out << ProblemKindName(p.Kind) << ": " << p.Describe() << "\n";
    // Notes say what could not be checked; they do not make the table damaged.
    if (!report.KeyOrderNotChecked.empty()) ctx.Out << "note: key order not checked: " << report.KeyOrderNotChecked << "\n";
    for (const auto& lock : FindParadoxLockFiles(rtl::ExtractFileDir(table->Path())))
        ctx.Out << "note: Paradox lock file " << lock << " in the directory: another program may have the table open\n";
    const auto change = PendingChange(*table);
    if (change)
        ctx.Out << "interrupted change: "
                << (change->Reason.empty() ? "waits for the next run that writes the table" : "will not be carried out: " + change->Reason)
                << "; the table was read as it stands\n";
    if (report.Encrypted) return ExitUnreadable;
    return report.Problems.empty() && !change ? ExitOk : ExitProblems;
}

// Several tables in one run, as a script checking a whole directory asks: each line is
// preceded by its table as named on the command line; the worst exit status wins.
int VerifyTables(TCommandContext& ctx, const std::vector<std::string>& tables) {
    if (tables.size() == 1) return Verify(ctx, tables.front());
    int worst = ExitOk;
    for (const std::string& table : tables) {
        std::ostringstream out;
        TCommandContext one{out, ctx.Err};
        worst = std::max(worst, Verify(one, table));
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);) ctx.Out << table << ": " << line << "\n";
    }
    return worst;
}

} // namespace

void RegisterReadCommands(TCommandRegistry& registry) {
    registry.Add({"info", "header, fields, indexes and problems of a table as JSON",
                  "Usage: pdx info TABLE\n\n"
                  "Prints the table's header facts, fields, indexes and every problem found as JSON.\n"
                  "TABLE is the data file, with or without \".db\" (letter case ignored).\n"
                  "Exit status: 0 printed, 2 the table cannot be opened.\n",
                  TableCommand(Info)});
    registry.Add({"dump", "all records of a table as CSV",
                  "Usage: pdx dump TABLE\n\n"
                  "Writes the field names and then every record in block-chain order as CSV (RFC 4180).\n"
                  "Blank values are empty cells; problems (unreadable blobs, a broken chain, a record\n"
                  "the end of the file cuts off, which is not printed) go to standard error.\n"
                  "A change of the table that a killed run left unfinished is not carried out: the\n"
                  "table is printed as it stands, and the change is named on standard error.\n"
                  "Exit status: 0 clean, 1 problems reported (an unfinished change among them), 2 the\n"
                  "table cannot be opened or is encrypted.\n",
                  TableCommand(Dump)});
    registry.Add({"verify", "check tables for damage, one line per problem",
                  "Usage: pdx verify TABLE...\n\n"
                  "Reads the whole table, its memo file and indexes, and prints one line per problem.\n"
                  "With several tables, each line starts with its table as given and the worst exit\n"
                  "status of them is returned.\n"
                  "Lines starting with \"note:\" say what could not be checked (the order of text keys\n"
                  "under an international sort order) or that Paradox lock files are present.\n"
                  "A change of the table that a killed run left unfinished is named on a line of its\n"
                  "own (\"interrupted change: ...\"); the table is checked as it stands.\n"
                  "Exit status: 0 clean, 1 damaged or an unfinished change waits, 2 not readable\n"
                  "(cannot be opened, or encrypted).\n",
                  TablesCommand(VerifyTables)});
}

} // namespace pdx
