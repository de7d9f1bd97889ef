#include "tests/fuzz/FuzzHarness.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/FieldDefs.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/TableCheck.h"
#include "platform/engine/paradox/TableDefinitionReader.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/Paths.h"
#include "platform/zip/AddUnzip.h"
#include "tools/pdx/CommandRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string_view>
#include <vector>

namespace fuzz {

namespace fs = std::filesystem;
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

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

} // namespace

void ExerciseTable(const std::string& dataPath) {
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
        const TTableReport report = CheckTable(*table);
        for (const auto& p : report.Problems) p.Describe();
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
    for (const char* command : {"info", "dump", "verify"}) RunPdx(command, dataPath);
}

void ExerciseTableBytes(const std::uint8_t* data, std::size_t size, const std::string& dir) {
    static const char* const extensions[] = {"db", "mb", "px", "X02", "Y02", "XG0", "YG0"};
    for (const char* ext : extensions) fs::remove(fs::path(dir) / (std::string("T.") + ext));
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::string_view marker(CompanionMarker);
    std::string_view ext = "db";
    std::size_t at = 0;
    while (true) {
        const std::size_t next = all.find(marker, at);
        const std::string_view part = all.substr(at, next == std::string_view::npos ? all.npos : next - at);
        for (const char* known : extensions)
            if (ext == known) {
                std::ofstream(fs::path(dir) / ("T." + std::string(ext)), std::ios::binary)
                    .write(part.data(), static_cast<std::streamsize>(part.size()));
                break;
            }
        if (next == std::string_view::npos) break;
        const std::size_t nameStart = next + marker.size();
        const std::size_t newline = all.find('\n', nameStart);
        if (newline == std::string_view::npos) break;
        ext = all.substr(nameStart, newline - nameStart);
        at = newline + 1;
    }
    ExerciseTable((fs::path(dir) / "T.db").string());
}

namespace {
int Quiet(std::intptr_t, std::uint8_t, const char*) { return 1; }
} // namespace

void ExerciseArchive(const std::string& archivePath, const std::string& targetDir) {
    const fs::path target(targetDir);
    const fs::path parent = target.parent_path();
    std::error_code ec;
    fs::remove_all(target, ec);
    fs::create_directories(parent);
    azip::addUNZIP_Initialise();
    azip::addUNZIP_InstallCallback(&Quiet);
    azip::addUNZIP_ArchiveName(archivePath.c_str());
    azip::addUNZIP_ExtractTo(targetDir.c_str());
    azip::addUNZIP_RestoreAttributes(1);
    azip::addUNZIP();
    for (const auto& e : fs::directory_iterator(parent))
        if (e.path().filename() != target.filename()) Fail("unpacked outside the target: " + e.path().string());
    if (fs::exists(target))
        for (const auto& e : fs::directory_iterator(target))
            if (!e.is_regular_file() || e.is_symlink()) Fail("not a plain file in the target: " + e.path().string());
}

} // namespace fuzz
