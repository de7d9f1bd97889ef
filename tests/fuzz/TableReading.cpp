#include "tests/fuzz/FuzzHarness.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/FieldDefs.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Paths.h"
#include "tools/pdx/CommandRegistry.h"

#include <ostream>
#include <streambuf>
#include <vector>

namespace fuzz {

using namespace engine::paradox;

namespace {

// Swallows pdx output: a dump of a damaged table can be large and is not what is tested.
class TNullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void RunPdx(const char* command, const std::string& path) {
    static pdx::TCommandRegistry registry = [] {
        pdx::TCommandRegistry r;
        pdx::RegisterReadCommands(r);
        return r;
    }();
    TNullBuffer sink;
    std::ostream out(&sink);
    registry.Run({"pdx", command, path}, out, out);
}

// The engine objects' view: definitions, count and every row value by name.
void ReadThroughEngineObjects(const std::string& dataPath) {
    engine::TDatabase db;
    db.DatabaseName = "FuzzDatabase";
    db.Params.SetValue("PATH", rtl::ExtractFileDir(dataPath));
    db.Open();
    engine::TTable t;
    t.DatabaseName = db.DatabaseName;
    t.TableName = rtl::ExtractFileName(dataPath);
    t.FieldDefsUpdate();
    t.IndexDefsUpdate();
    t.RecordCount();
    t.Open();
    for (; !t.Eof(); t.Next())
        for (const auto& f : t.FieldDefs) t.FieldByName(f.Name);
}

} // namespace

void ScanTable(const std::string& dataPath) {
    try {
        const auto table = TParadoxTable::Open(dataPath);
        const TRecordDecoder decoder = table->Decoder();
        std::vector<TFieldValue> values;
        std::vector<TBlobFailure> failures;
        TProblemList problems;
        table->ForEachRecord(
            [&](const TRecordRef& r) {
                failures.clear();
                decoder.Decode(r.Bytes, values, &failures);
                for (std::size_t i = 0; i < values.size(); ++i)
                    FormatFieldValue(values[i], table->Header().Fields[i].TypeCode);
                return true;
            },
            problems);
        for (const auto& p : problems) p.Describe();
        table->CountReadableRecords();
    } catch (const engine::EDBEngineError&) {
    }
    try {
        engine::TFieldDefs defs;
        ReadFieldDefs(dataPath, "T", defs);
    } catch (const engine::EDBEngineError&) {
    }
    try {
        engine::TIndexDefs defs;
        ReadIndexDefs(dataPath, "T", defs);
    } catch (const engine::EDBEngineError&) {
    }
    try {
        ReadableRecordCount(dataPath, "T");
    } catch (const engine::EDBEngineError&) {
    }
    try {
        ReadThroughEngineObjects(dataPath);
    } catch (const engine::EDBEngineError&) {
    }
    for (const char* command : {"info", "dump"}) RunPdx(command, dataPath);
}

void VerifyTable(const std::string& dataPath) {
    try {
        const auto table = TParadoxTable::Open(dataPath);
        const TTableReport report = CheckTable(*table);
        for (const auto& p : report.Problems) p.Describe();
    } catch (const engine::EDBEngineError&) {
    }
    RunPdx("verify", dataPath);
}

void ExerciseTable(const std::string& dataPath) {
    ScanTable(dataPath);
    VerifyTable(dataPath);
}

} // namespace fuzz
