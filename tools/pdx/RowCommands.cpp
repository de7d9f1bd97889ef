// pdx append / delete / probe / add-index: rows and indexes changed through the engine, for
// scripts and for testing the engine from outside. Values are written as `pdx dump` prints
// them.
#include "platform/engine/EngineObjects.h"
#include "platform/engine/KeyProbe.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/SecondaryIndexes.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"
#include "tools/common/JsonWriter.h"
#include "tools/pdx/CommandRegistry.h"
#include "tools/pdx/ValueText.h"
#include "platform/rtl/Process.h"

#include <ostream>

namespace pdx {

namespace {

using engine::EDBEngineError;
using engine::TTable;
using tools::TJsonWriter;

struct TRowArgs {
    std::string Table;
    std::vector<std::string> Items;  // NAME=VALUE, key values or field names
    std::string Name;                // --name
    bool Json = false;
    bool DropIndexes = false;
    bool Key = false;                // --key seen
};

// Parses "TABLE item... [--json] [--drop-indexes] [--name N] [--key]"; false on a bad line.
bool ParseRowArgs(const TCommandContext& ctx, TRowArgs& args) {
    for (std::size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& a = ctx.Args[i];
        if (a == "--json") args.Json = true;
        else if (a == "--drop-indexes") args.DropIndexes = true;
        else if (a == "--key") args.Key = true;
        else if (a == "--name" && i + 1 < ctx.Args.size()) args.Name = ctx.Args[++i];
        else if (a.rfind("--", 0) == 0) return false;
        else if (args.Table.empty()) args.Table = a;
        else args.Items.push_back(a);
    }
    return !args.Table.empty();
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

void WriteNames(TJsonWriter& json, const std::string& key, const std::vector<std::string>& names) {
    json.BeginArray(key);
    for (const auto& n : names) {
        json.BeginObject();
        json.Value("file", n);
        json.EndObject();
    }
    json.EndArray();
}

int Fail(TCommandContext& ctx, const TRowArgs& args, const std::string& what, const std::string& message, int code) {
    if (args.Json) {
        TJsonWriter json(ctx.Out);
        json.BeginObject();
        json.Value("table", args.Table);
        json.Value("result", what);
        json.Value("error", message);
        json.EndObject();
        json.Finish();
    }
    ctx.Err << "pdx: " << message << "\n";
    return code;
}

int Append(TCommandContext& ctx) {
    TRowArgs args;
    if (!ParseRowArgs(ctx, args) || args.Key) {
        ctx.Err << "Usage: pdx append TABLE [NAME=VALUE...] [--drop-indexes] [--json]\n";
        return ExitUnreadable;
    }
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
            const bool violation = e.Kind() == engine::EngineErrorKind::KeyViolation;
            return Fail(ctx, args, violation ? "key violation" : "refused", e.Message(), ExitProblems);
        }
        std::vector<std::string> key;
        for (int k = 0; k < (header.IsKeyed() ? header.KeyFieldCount : 0); ++k)
            key.push_back(FormatValueText(header.Fields[static_cast<std::size_t>(k)],
                                          t.FieldByName(header.Fields[static_cast<std::size_t>(k)].Name)));
        try {
            t.Close();  // the row is written here
        } catch (const EDBEngineError& e) {
            if (e.Kind() != engine::EngineErrorKind::InvalidRequest) throw;
            return Fail(ctx, args, "refused", e.Message(), ExitProblems);
        }
        if (args.Json) {
            TJsonWriter json(ctx.Out);
            json.BeginObject();
            json.Value("table", path);
            json.Value("result", "appended");
            json.BeginArray("key");
            for (const auto& k : key) json.Value("", k);
            json.EndArray();
            json.Value("autoIncrement", static_cast<std::int64_t>(engine::paradox::TParadoxTable::Open(path)->Header().AutoIncrement));
            WriteNames(json, "droppedIndexes", t.DroppedIndexes);
            json.EndObject();
            json.Finish();
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

int Delete(TCommandContext& ctx) {
    TRowArgs args;
    if (!ParseRowArgs(ctx, args) || !args.Key || args.Items.empty()) {
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
            TJsonWriter json(ctx.Out);
            json.BeginObject();
            json.Value("table", path);
            json.Value("result", "deleted");
            WriteNames(json, "droppedIndexes", t.DroppedIndexes);
            json.EndObject();
            json.Finish();
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
int Probe(TCommandContext& ctx) {
    TRowArgs args;
    if (!ParseRowArgs(ctx, args) || !args.Items.empty() || args.Key) {
        ctx.Err << "Usage: pdx probe TABLE [--json]\n";
        return ExitUnreadable;
    }
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
        TJsonWriter json(ctx.Out);
        json.BeginObject();
        json.Value("table", path);
        json.Value("result", result);
        if (probe.Result != TResult::Passes) json.Value("reason", probe.Reason);
        json.EndObject();
        json.Finish();
    } else {
        ctx.Out << result << "\n";
        if (probe.Result != TResult::Passes) ctx.Err << "pdx: " << probe.Reason << "\n";
    }
    return probe.Result == TResult::Passes ? ExitOk : probe.Result == TResult::KeyViolation ? ExitProblems : ExitUnreadable;
}

int AddIndex(TCommandContext& ctx) {
    TRowArgs args;
    if (!ParseRowArgs(ctx, args) || args.Items.empty() || args.Key) {
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
            TJsonWriter json(ctx.Out);
            json.BeginObject();
            json.Value("table", path);
            json.Value("result", "added");
            json.Value("index", created);
            json.Value("primary", !header.IsKeyed());
            WriteNames(json, "droppedIndexes", dropped);
            json.EndObject();
            json.Finish();
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
                  Append});
    registry.Add({"delete", "delete the row with a given primary key",
                  "Usage: pdx delete TABLE --key VALUE... [--drop-indexes] [--json]\n\n"
                  "Deletes the row whose primary key fields hold the values given, in key order.\n" +
                      values + indexes + "Exit status: 0 deleted, 1 no such row, 2 bad arguments or the table cannot be used.\n",
                  Delete});
    registry.Add({"probe", "the key-violation probe: append a blank row, post it, delete it",
                  "Usage: pdx probe TABLE [--json]\n\n"
                  "Opens the table, appends a blank row (its autoincrement field numbered by the engine),\n"
                  "posts and deletes it. A healthy table passes; its files are left as they were but for\n"
                  "the autoincrement counter, moved on by one. Only the engine's key violation is reported\n"
                  "as one; any other failure (a busy lock, a read or write the disk refused) is an error.\n"
                  "Exit status: 0 passes, 1 key violation, 2 error or the table cannot be opened.\n",
                  Probe});
    registry.Add({"add-index", "add a primary or secondary index",
                  "Usage: pdx add-index TABLE FIELD... [--name NAME] [--drop-indexes] [--json]\n\n"
                  "A table without a primary key gets one on FIELD... (its first fields, in order). A keyed\n"
                  "table gets a secondary index: one field gives .Xnn/.Ynn, several give .XGn/.YGn named\n"
                  "NAME.\n" +
                      indexes + "Exit status: 0 added, 2 refused or the table cannot be used.\n",
                  AddIndex});
}

} // namespace pdx
