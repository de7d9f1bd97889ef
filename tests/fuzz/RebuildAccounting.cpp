#include "tests/fuzz/FuzzHarness.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/tutil/RecordValidation.h"
#include "rebuild/ParadoxTableRebuild.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fuzz {

namespace fs = std::filesystem;
using namespace engine::paradox;

namespace {

// A row as it must survive a rebuild: its record bytes with the blob fields blanked, then
// each blob's value. Blob descriptors point elsewhere after a rebuild; the values do not.
using TRowBag = std::multiset<std::string>;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Blob fields that lie inside the record and whose size fits their type: the others are
// bytes like any other (the reader shows them raw).
std::vector<const TFieldInfo*> BlobFields(const TTableHeader& h) {
    std::vector<const TFieldInfo*> out;
    for (const auto& f : h.Fields)
        if (IsBlobField(f.TypeCode) && f.SizeFitsType() && f.Offset + f.Size <= h.RecordSize)
            out.push_back(&f);
    return out;
}

// The row's identity, or false when a blob of it cannot be read.
bool RowIdentity(const TParadoxTable& table, const std::vector<const TFieldInfo*>& blobs, const std::uint8_t* record,
                 std::string& out) {
    out.assign(reinterpret_cast<const char*>(record), table.Header().RecordSize);
    for (const TFieldInfo* f : blobs) {
        const TBlobResult value = ReadBlobField(record + f->Offset, f->Size, table.Memo());
        if (!value.Ok) return false;
        std::fill_n(out.begin() + f->Offset, f->Size, '\0');
        out += std::to_string(value.Bytes.size()) + ":" + value.Bytes;
    }
    return true;
}

bool AllZero(const TRandomAccessFile& file, std::uint64_t offset, std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size);
    file.ReadAt(offset, bytes.data(), bytes.size());
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Rows a rebuild must keep: read through the chain (under the geometry the blocks show when
// the header's disagrees with the file), wholly inside the file, in a block that is not wiped
// to zeros, every field holding a value of its type and every blob readable.
TRowBag IntactRows(const std::string& dataPath) {
    TRowBag rows;
    try {
        const auto table = TParadoxTable::Open(dataPath);
        if (!ReadWhereTheBlocksLie(*table).Refused.empty()) return rows;
        const TTableHeader& h = table->Header();
        const tutil::TRecordChecker checker(h);
        const auto blobs = BlobFields(h);
        const std::uint64_t fileSize = table->File().Size();
        std::uint16_t lastBlock = 0;
        bool wiped = false;
        std::string identity;
        TProblemList ignored;
        table->ForEachRecord(
            [&](const TRecordRef& r) {
                if (r.Block != lastBlock) {
                    lastBlock = r.Block;
                    wiped = AllZero(table->File(), h.BlockOffset(r.Block), h.BlockSize);
                }
                if (wiped || r.FileOffset + h.RecordSize > fileSize || checker.Check(r.Bytes)) return true;
                if (RowIdentity(*table, blobs, r.Bytes, identity)) rows.insert(identity);
                return true;
            },
            ignored);
    } catch (const engine::EDBEngineError&) {
    }
    return rows;
}

// Every row of a table that has just been written; aborts when it does not read cleanly.
TRowBag WrittenRows(const std::string& dataPath, const char* what) {
    TRowBag rows;
    const auto table = TParadoxTable::Open(dataPath);
    const TTableHeader& h = table->Header();
    const auto blobs = BlobFields(h);
    std::string identity;
    TProblemList problems;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            if (!RowIdentity(*table, blobs, r.Bytes, identity))
                Fail(std::string("a blob of the ") + what + " cannot be read");
            rows.insert(identity);
            return true;
        },
        problems);
    if (!problems.empty()) Fail(std::string("the ") + what + " reads with problems: " + problems.front().Describe());
    if (rows.size() != h.RecordCount)
        Fail(std::string("the ") + what + " holds " + std::to_string(rows.size()) + " rows, its header says " +
             std::to_string(h.RecordCount));
    return rows;
}

// The table's files by upper-case extension.
std::map<std::string, std::string> FamilyBytes(const std::vector<std::string>& files) {
    std::map<std::string, std::string> out;
    for (const auto& f : files) out[rtl::UpperAscii(fs::path(f).extension().string())] = ReadWhole(f);
    return out;
}

std::map<std::string, std::string> FamilyBytes(const std::string& dataPath) {
    return FamilyBytes(engine::FindTableFamily(rtl::ExtractFileDir(dataPath), engine::TableBaseName(dataPath)));
}

} // namespace

void RebuildAndAccount(const std::string& dataPath) {
    const TRowBag intact = IntactRows(dataPath);
    const auto before = FamilyBytes(dataPath);
    tutil::TRebuildReport report;
    if (rebuild::RebuildParadoxTable(dataPath, &report)) {
        if (FamilyBytes(dataPath) != before) Fail("a rebuild that failed changed the table: " + report.Failure);
        return;
    }
    if (FamilyBytes(report.BackupFiles) != before) Fail("the backup differs from the table before the rebuild");
    TRowBag kept = WrittenRows(dataPath, "rebuilt table");
    if (kept.size() != report.RowsKept) Fail("the report's count of kept rows is wrong");
    // No plain success while rows the header counts are neither kept nor moved.
    if (report.RowsKept + report.RowsToKeyViolations + report.RowsToProblems + report.RowsNotFound <
        report.HeaderRecordCount)
        Fail("rows the header counts are missing and the report does not say so");
    if (!report.KeyViolationTable.empty()) {
        const TRowBag moved = WrittenRows(report.KeyViolationTable, "key-violation table");
        if (moved.size() != report.RowsToKeyViolations) Fail("the report's count of key violations is wrong");
        kept.insert(moved.begin(), moved.end());
    }
    for (const auto& row : intact) {
        const auto it = kept.find(row);
        if (it == kept.end()) Fail("the rebuild lost an intact row: " + HexBytes(row.substr(0, 64)));
        kept.erase(it);
    }
}

} // namespace fuzz
