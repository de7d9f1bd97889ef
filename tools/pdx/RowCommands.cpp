// pdx append / delete / probe / add-index: rows and indexes changed through the engine, for
// scripts and for testing the engine from outside. Values are written as `pdx dump` prints
// them.
#include "platform/engine/EngineObjects.h"
#include "platform/engine/KeyProbe.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"
#include "tools/common/JsonOutput.h"
#include "tools/pdx/CommandRegistry.h"
#include "tools/pdx/ValueText.h"
#include "platform/rtl/Process.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace pdx {

namespace {

using engine::EDBEngineError;
using engine::TTable;
using tools::TJson;

struct TRowArgs {
    std::string Table;
    std::vector<std::string> Items;  // NAME=VALUE, key values or field names
    std::string Name;                // --name
    bool Json = false;
    bool DropIndexes = false;
    bool Key = false;                // --key seen
};

// The options a row command takes besides TABLE and --json.
enum TRowOption : unsigned { RowItems = 1, RowKey = 2, RowName = 4, RowDropIndexes = 8 };

// Declares "TABLE [ITEMS...] [--json]" and the options `options` names; `items` names the items.
std::function<TCommandRun(CLI::App&)> RowCommand(int (*run)(TCommandContext&, const TRowArgs&), unsigned options,
                                                 const char* items = "") {
    return [=](CLI::App& app) -> TCommandRun {
        auto args = std::make_shared<TRowArgs>();
        app.add_option("TABLE", args->Table, "the table's data file, \".db\" optional")->required();
        if (options & RowItems) app.add_option("ITEMS", args->Items, items);
        app.add_flag("--json", args->Json, "print the result as JSON");
        if (options & RowDropIndexes)
            app.add_flag("--drop-indexes", args->DropIndexes, "delete the indexes the write cannot keep");
        if (options & RowKey) app.add_flag("--key", args->Key, "the values that follow are the primary key");
        if (options & RowName) app.add_option("--name", args->Name, "the name of a composite secondary index");
        return [run, args](TCommandContext& ctx) { return run(ctx, *args); };
    };
}

// The table's data file as found on disk (".db" optional, letter case ignored).
std::string DataFileOf(const std::string& table) {
    return engine::paradox::OpenTableByPath(table)->Path();
}

// Paradox's own lock files say another program may have the tables open; they are reported,
// never touched.
void WarnAboutLockFiles(const TCommandContext& ctx, const std::string& dataPath) {
    const auto found = engine::paradox::FindParadoxLockFiles(rtl::ExtractFileDir(dataPath));
    if (found.empty()) return;
    std::string names;
    for (const auto& n : found) names += (names.empty() ? "" : ", ") + n;
    ctx.Err << "pdx: warning: Paradox lock files in the table's directory (" << names
            << "): another program may have its tables open\n";
}

TJson NamesJson(const std::vector<std::string>& names) {
    TJson json = TJson::array();
    for (const auto& n : names) json.push_back({{"file", n}});
    return json;
}

int Fail(TCommandContext& ctx, const TRowArgs& args, const std::string& what, const std::string& message, int code) {
    if (args.Json) {
        tools::PrintJson(ctx.Out, {{"table", args.Table}, {"result", what}, {"error", message}});
    }
    ctx.Err << "pdx: " << message << "\n";
    return code;
}

int Append(TCommandContext& ctx, const TRowArgs& args) {
    try {
        const std::string path = DataFileOf(args.Table);
        WarnAboutLockFiles(ctx, path);
        const auto header = engine::paradox::TParadoxTable::Open(path)->Header();
        TTable t;
        t.TableName = path;
        t.DropUnmaintainableIndexes = args.DropIndexes;
        t.Open();
        t.Append();
        for (const auto& item : args.Items) {
            const auto eq = item.find('=');
            if (eq == std::string::npos) {
                t.Cancel();
                return Fail(ctx, args, "usage", "\"" + item + "\" is not NAME=VALUE", ExitUnreadable);
            }
            const std::string name = item.substr(0, eq);
            t.SetFieldByName(name, ParseValueText(FieldNamed(header, name), item.substr(eq + 1)));
        }
        try {
            t.Post();
        } catch (const EDBEngineError& e) {
            t.Cancel();
            t.Close();
            const bool violation = e.Kind() == engine::TEngineErrorKind::KeyViolation;
            return Fail(ctx, args, violation ? "key violation" : "refused", e.Message(), ExitProblems);
        }
        std::vector<std::string> key;
        for (int k = 0; k < (header.IsKeyed() ? header.KeyFieldCount : 0); ++k)
            key.push_back(FormatValueText(header.Fields[static_cast<std::size_t>(k)],
                                          t.FieldByName(header.Fields[static_cast<std::size_t>(k)].Name)));
        try {
            t.Close();  // the row is written here
        } catch (const EDBEngineError& e) {
            if (e.Kind() != engine::TEngineErrorKind::InvalidRequest) throw;
            return Fail(ctx, args, "refused", e.Message(), ExitProblems);
        }
        if (args.Json) {
            tools::PrintJson(
                ctx.Out,
                {{"table", path},
                 {"result", "appended"},
                 {"key", key},
                 {"autoIncrement",
                  static_cast<std::int64_t>(engine::paradox::TParadoxTable::Open(path)->Header().AutoIncrement)},
                 {"droppedIndexes", NamesJson(t.DroppedIndexes)}});
        } else {
            std::string shown;
            for (const auto& k : key) shown += (shown.empty() ? "" : ", ") + k;
            ctx.Out << "appended" << (key.empty() ? "" : " (key " + shown + ")") << "\n";
            for (const auto& d : t.DroppedIndexes) ctx.Out << "dropped index " << d << "\n";
        }
        return ExitOk;
    } catch (const rtl::EError& e) {
        return Fail(ctx, args, "error", e.Message(), ExitUnreadable);
    }
}

int Delete(TCommandContext& ctx, const TRowArgs& args) {
    if (!args.Key || args.Items.empty()) {
        ctx.Err << "Usage: pdx delete TABLE --key VALUE... [--drop-indexes] [--json]\n";
        return ExitUnreadable;
    }
    try {
        const std::string path = DataFileOf(args.Table);
        WarnAboutLockFiles(ctx, path);
        const auto header = engine::paradox::TParadoxTable::Open(path)->Header();
        if (!header.IsKeyed() || args.Items.size() != header.KeyFieldCount)
            return Fail(ctx, args, "usage",
                        "the table's primary key has " + std::to_string(header.IsKeyed() ? header.KeyFieldCount : 0) +
                            " field(s); give one value for each",
                        ExitUnreadable);
        std::vector<engine::TValue> wanted;
        for (std::size_t k = 0; k < args.Items.size(); ++k)
            wanted.push_back(ParseValueText(header.Fields[k], args.Items[k]));
        TTable t;
        t.TableName = path;
        t.DropUnmaintainableIndexes = args.DropIndexes;
        t.Open();
        bool found = false;
        for (t.First(); !t.Eof() && !found; t.Next()) {
            bool same = true;
            for (std::size_t k = 0; k < wanted.size() && same; ++k)
                same = t.FieldByName(header.Fields[k].Name) == wanted[k];
            if (same) {
                t.Delete();
                found = true;
            }
        }
        t.Close();
        if (!found) return Fail(ctx, args, "not found", "no row has that key", ExitProblems);
        if (args.Json) {
            tools::PrintJson(ctx.Out,
                             {{"table", path}, {"result", "deleted"}, {"droppedIndexes", NamesJson(t.DroppedIndexes)}});
        } else {
            ctx.Out << "deleted\n";
            for (const auto& d : t.DroppedIndexes) ctx.Out << "dropped index " << d << "\n";
        }
        return ExitOk;
    } catch (const rtl::EError& e) {
        return Fail(ctx, args, "error", e.Message(), ExitUnreadable);
    }
}

// The key-violation probe, as the key repair runs it. Only the engine's key violation says
// the table needs repair; any other failure is the table's error.
int Probe(TCommandContext& ctx, const TRowArgs& args) {
    std::string path;
    try {
        path = DataFileOf(args.Table);
    } catch (const rtl::EError& e) {
        return Fail(ctx, args, "error", e.Message(), ExitUnreadable);
    }
    WarnAboutLockFiles(ctx, path);
    TTable t;
    t.TableName = path;
    const engine::TKeyProbe probe = engine::ProbeBlankRow(t);
    using TResult = engine::TKeyProbe::TResult;
    const char* const result = probe.Result == TResult::Passes         ? "passes"
                               : probe.Result == TResult::KeyViolation ? "key violation"
                                                                       : "error";
    if (args.Json) {
        TJson json{{"table", path}, {"result", result}};
        if (probe.Result != TResult::Passes) json["reason"] = probe.Reason;
        tools::PrintJson(ctx.Out, json);
    } else {
        ctx.Out << result << "\n";
        if (probe.Result != TResult::Passes) ctx.Err << "pdx: " << probe.Reason << "\n";
    }
    return probe.Result == TResult::Passes ? ExitOk : probe.Result == TResult::KeyViolation ? ExitProblems : ExitUnreadable;
}

int AddIndex(TCommandContext& ctx, const TRowArgs& args) {
    if (args.Items.empty()) {
        ctx.Err << "Usage: pdx add-index TABLE FIELD... [--name NAME] [--drop-indexes] [--json]\n";
        return ExitUnreadable;
    }
    try {
        const std::string path = DataFileOf(args.Table);
        WarnAboutLockFiles(ctx, path);
        const auto header = engine::paradox::TParadoxTable::Open(path)->Header();
        std::string created;
        std::vector<std::string> dropped;
        if (!header.IsKeyed()) {
            std::string fields;
            for (const auto& f : args.Items) fields += (fields.empty() ? "" : ";") + f;
            TTable t;
            t.TableName = path;
            t.DropUnmaintainableIndexes = args.DropIndexes;
            t.AddIndex("", fields, engine::ixPrimary);
            created = rtl::ExtractFileName(engine::paradox::CompanionPath(path, ".px"));
            dropped = t.DroppedIndexes;
        } else {
            created = engine::paradox::CreateSecondaryIndex(path, args.Items, args.Name, rtl::TemporaryDirectory());
        }
        if (args.Json) {
            tools::PrintJson(ctx.Out, {{"table", path},
                                       {"result", "added"},
                                       {"index", created},
                                       {"primary", !header.IsKeyed()},
                                       {"droppedIndexes", NamesJson(dropped)}});
        } else {
            ctx.Out << "added " << (header.IsKeyed() ? "secondary" : "primary") << " index " << created << "\n";
            for (const auto& d : dropped) ctx.Out << "dropped index " << d << "\n";
        }
        return ExitOk;
    } catch (const rtl::EError& e) {
        return Fail(ctx, args, "refused", e.Message(), ExitUnreadable);
    }
}

} // namespace

void RegisterRowCommands(TCommandRegistry& registry) {
    const std::string values =
        "Values are written as `pdx dump` prints them (dates YYYY-MM-DD, times HH:MM:SS[.mmm],\n"
        "true/false, bytes and blobs in hex); an empty value is blank.\n";
    const std::string indexes =
        "A write that moves rows keeps every secondary index it can keep exact; one it cannot keep\n"
        "(text under an international sort order, a descending or case-insensitive index, an index\n"
        "of a table without a primary key) refuses the write, unless --drop-indexes is given: the\n"
        "index files are then deleted and named in the output.\n";
    registry.Add({"append", "add one row to a table",
                  "Usage: pdx append TABLE [NAME=VALUE...] [--drop-indexes] [--json]\n\n"
                  "Appends one row with the given fields (the others blank; autoincrement fields numbered\n"
                  "by the engine) and writes it when the table is closed.\n" +
                      values + indexes +
                      "Exit status: 0 appended, 1 key violation or refused, 2 bad arguments or the table\n"
                      "cannot be used.\n",
                  RowCommand(Append, RowItems | RowDropIndexes, "NAME=VALUE of the fields to set")});
    registry.Add({"delete", "delete the row with a given primary key",
                  "Usage: pdx delete TABLE --key VALUE... [--drop-indexes] [--json]\n\n"
                  "Deletes the row whose primary key fields hold the values given, in key order.\n" +
                      values + indexes + "Exit status: 0 deleted, 1 no such row, 2 bad arguments or the table cannot be used.\n",
                  RowCommand(Delete, RowItems | RowKey | RowDropIndexes, "the primary key's values, in key order")});
    registry.Add({"probe", "the key-violation probe: append a blank row, post it, delete it",
                  "Usage: pdx probe TABLE [--json]\n\n"
                  "Opens the table, appends a blank row (its autoincrement field numbered by the engine),\n"
                  "posts and deletes it. A healthy table passes; its files are left as they were but for\n"
                  "the autoincrement counter, moved on by one. Only the engine's key violation is reported\n"
                  "as one; any other failure (a busy lock, a read or write the disk refused) is an error.\n"
                  "A table whose header misreads its blocks (the damage check would read them under other\n"
                  "sizes) or whose fields do not fill its records is an error too, and nothing is appended.\n"
                  "Exit status: 0 passes, 1 key violation, 2 error or the table cannot be opened.\n",
                  RowCommand(Probe, 0)});
    registry.Add({"add-index", "add a primary or secondary index",
                  "Usage: pdx add-index TABLE FIELD... [--name NAME] [--drop-indexes] [--json]\n\n"
                  "A table without a primary key gets one on FIELD... (its first fields, in order). A keyed\n"
                  "table gets a secondary index: one field gives .Xnn/.Ynn, several give .XGn/.YGn named\n"
                  "NAME.\n" +
                      indexes + "Exit status: 0 added, 2 refused or the table cannot be used.\n",
                  RowCommand(AddIndex, RowItems | RowName | RowDropIndexes, "the fields of the index")});
}

} // namespace pdx
