// What the rebuild tests share: the library's call sequence on one table, damage patched
// into copies of tables, and the checks every rebuilt table must pass (rows accounted for,
// backup equal to the original bytes, pxlib reads the result).
#pragma once

#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/FaultInjection.h"
#include "platform/tutil/CompanionTables.h"
#include "platform/tutil/DescriptorArrays.h"
#include "platform/tutil/TableUtility.h"
#include "tests/platform/engine/WriterFixtures.h"
#include "tests/support/ForeignReader.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
extern "C" {
#include <paradox.h>
}

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace test {

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline void PatchFile(const std::string& path, std::size_t at, const std::string& bytes) {
    std::string s = ReadBytes(path);
    s.replace(at, bytes.size(), bytes);
    WriteBytes(path, s);
}

inline std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
inline std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// Every member of the table's family, by extension in capitals, with its bytes.
inline std::map<std::string, std::string> FamilyBytes(const std::string& dataPath) {
    std::map<std::string, std::string> out;
    const std::string dir = std::filesystem::path(dataPath).parent_path().string();
    for (const auto& f : engine::FindTableFamily(dir, engine::TableBaseName(dataPath)))
        out[rtl::UpperAscii(std::filesystem::path(f).extension().string())] = ReadBytes(f);
    return out;
}

using TRowSet = std::multiset<std::vector<std::string>>;

inline TRowSet RowSet(const std::string& path) {
    const auto rows = ReadRows(path);
    return TRowSet(rows.begin(), rows.end());
}

// The raw records the problem table holds.
inline std::multiset<std::string> ProblemRecords(const std::string& problemPath) {
    std::multiset<std::string> out;
    if (problemPath.empty()) return out;
    const auto table = TParadoxTable::Open(problemPath);
    const auto decoder = table->Decoder();
    TProblemList ignored;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            out.insert(decoder.DecodeField(r.Bytes, 5, nullptr).Bytes);
            return true;
        },
        ignored);
    return out;
}

struct TLibraryRun {
    tutil::TUResult Code = tutil::TUERR_NONE;
    tutil::TRebuildReport Report;
    std::string ErrorText;
};

// The call sequence of a rebuild, straight on the library; with `structureFrom`, the table is
// read under the header of that copy of it.
inline TLibraryRun RunLibraryRebuild(const std::string& path, const std::string& structureFrom = {}) {
    using namespace tutil;
    TLibraryRun run;
    hTUses h = 0;
    EXPECT_EQ(TUInit(&h), TUERR_NONE);
    std::uint16_t counts[7] = {};
    if (!structureFrom.empty()) {
        const std::string copy = ReadBytes(structureFrom);
        run.Code = TUSetStructureSource(h, path.c_str(), structureFrom.c_str(),
                                        reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size(), copy.size());
    }
    if (run.Code == TUERR_NONE)
        run.Code = TUGetCRTblDescCount(h, path.c_str(), &counts[0], &counts[1], &counts[2], &counts[3], &counts[4],
                                   &counts[5], &counts[6]);
    if (run.Code == TUERR_NONE) {
        CRTblDesc desc{};
        TDescriptorArrays arrays;
        arrays.Allocate(counts, desc);
        run.Code = TUFillCRTblDesc(h, &desc, path.c_str(), "");
        if (run.Code == TUERR_NONE)
            run.Code = TURebuildTable(h, path.c_str(), "PARADOX", "BACKUP.DB", "KEYVIOL.DB", "PROBLEM.DB", &desc);
        EXPECT_EQ(TUGetRebuildReport(h, &run.Report), TUERR_NONE);
    }
    if (run.Code != TUERR_NONE) {
        run.ErrorText.resize(TUGetErrorString(run.Code, nullptr, 0) + 1);
        run.ErrorText.resize(TUGetErrorString(run.Code, run.ErrorText.data(), run.ErrorText.size()));
    }
    EXPECT_EQ(TUExit(h), TUERR_NONE);
    return run;
}

// A rebuild whose rename of the swap naming `at` fails (once, or for good); `faults` says
// where it struck.
inline TLibraryRun RebuildWithRenameFailing(const std::string& path, const char* at, bool persistent,
                                            rtl::TFaultInjectingFileSystem& faults) {
    rtl::TFault fault{rtl::OpBit(rtl::TFsOp::Rename), 1, EIO, false, at};
    fault.Persistent = persistent;
    rtl::TScopedFileSystem scope(faults);
    faults.Arm(fault);
    return RunLibraryRebuild(path);
}

inline bool Reported(const tutil::TRebuildReport& r, const std::string& fragment) {
    for (const auto& p : r.Problems)
        if (p.find(fragment) != std::string::npos) return true;
    return false;
}

inline std::string AllProblems(const tutil::TRebuildReport& r) {
    std::string s;
    for (const auto& p : r.Problems) s += p + "\n";
    return s;
}

// pxlib opens the table and reads every record with the bytes our reader reads.
inline void ExpectPxlibReads(const std::string& path) {
    SCOPED_TRACE(path);
    const auto table = TParadoxTable::Open(path);
    const TTableHeader& h = table->Header();
    pxdoc_t* doc = PX_new();
    ASSERT_GE(PX_open_file(doc, path.c_str()), 0) << "pxlib cannot open it";
    EXPECT_EQ(PX_get_num_records(doc), static_cast<int>(h.RecordCount));
    std::vector<char> buf(h.RecordSize);
    int r = 0;
    TProblemList problems;
    table->ForEachRecord(
        [&](const TRecordRef& ref) {
            EXPECT_NE(PX_get_record(doc, r, buf.data()), nullptr) << "record " << r;
            EXPECT_EQ(0, std::memcmp(buf.data(), ref.Bytes, buf.size())) << "record " << r;
            ++r;
            return true;
        },
        problems);
    PX_close(doc);
    PX_delete(doc);
}

// The records another program reads from the table: as many as its header counts, each
// whole, through pxlib.
inline std::vector<std::string> PxlibRecords(const std::string& path) { return ReadTableWithPxlib(path); }

// The raw records of a table in its chain order, through our own reader (for tables taken
// as intact).
inline std::vector<std::string> StoredRecords(const std::string& path) {
    std::vector<std::string> out;
    const auto table = TParadoxTable::Open(path);
    TProblemList ignored;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            out.emplace_back(reinterpret_cast<const char*>(r.Bytes), table->Header().RecordSize);
            return true;
        },
        ignored);
    return out;
}

// A table keyed by text under an international sort order: `rows` rows "Mesto 00000" ... in
// stored order.
inline std::string MakeTowns(const std::string& path, std::size_t rows) {
    std::vector<std::string> keys;
    char name[32];
    for (std::size_t i = 0; i < rows; ++i) {
        std::snprintf(name, sizeof name, "Mesto %05zu", i);
        keys.push_back(name);
    }
    return MakeInternational(path, keys);
}

// The checks every successful rebuild must pass: the table is consistent and pxlib reads
// it, the backup holds the family's bytes from before the rebuild, and every row of
// `expected` is in the rebuilt table (or, when `moved`, in KEYVIOL or PROBLEM).
inline void ExpectSoundRebuild(const TLibraryRun& run, const std::string& path,
                               const std::map<std::string, std::string>& familyBefore) {
    ASSERT_EQ(run.Code, tutil::TUERR_NONE) << run.ErrorText;
    ExpectConsistent(path);
    ExpectPxlibReads(path);
    std::map<std::string, std::string> backup;
    for (const auto& f : run.Report.BackupFiles) {
        EXPECT_EQ(std::filesystem::path(f).stem().string(), "BACKUP");
        backup[std::filesystem::path(f).extension().string()] = ReadBytes(f);
    }
    EXPECT_EQ(backup, familyBefore) << "the backup differs from the original family";
    if (!run.Report.KeyViolationTable.empty()) ExpectConsistent(run.Report.KeyViolationTable);
    if (!run.Report.ProblemTable.empty()) ExpectConsistent(run.Report.ProblemTable);
}

inline struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

// Replaces the directory `to` by a copy of the files of `from`.
inline void CopyFlat(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::create_directories(to);
    for (const auto& e : std::filesystem::directory_iterator(from))
        if (e.is_regular_file()) std::filesystem::copy_file(e.path(), std::filesystem::path(to) / e.path().filename());
}

// `dir`/Calls.db: 120 keyed rows with memos, a secondary index and a .VAL side file, its
// chain broken after block 2 so that a rebuild has work to do. Returns the data file's path.
inline std::string MakeBrokenCallsTable(const std::string& dir) {
    std::filesystem::create_directories(dir);
    const std::string table = dir + "/Calls.db";
    MakeTable(table, AllTypesLayout(1), 120);
    CreateSecondaryIndex(table, {"Small"}, "", dir);
    std::ofstream(dir + "/Calls.VAL", std::ios::binary) << std::string("\x09\x00 checks", 9);
    const auto h = TParadoxTable::Open(table)->Header();
    EXPECT_GE(h.BlocksInUse, 4);
    PatchFile(table, h.BlockOffset(2), Le16(9999));
    return table;
}

// The BACKUP.* files of every companion directory below the database directory `dir`, by
// companion directory.
inline std::map<std::string, std::vector<std::string>> BackupFilesBelow(const std::string& dir) {
    std::map<std::string, std::vector<std::string>> out;
    const std::filesystem::path root = std::filesystem::path(dir) / tutil::CompanionRootName;
    if (!std::filesystem::exists(root)) return out;
    for (const auto& run : std::filesystem::directory_iterator(root)) {
        auto& files = out[run.path().string()];
        for (const auto& f : std::filesystem::directory_iterator(run.path()))
            if (f.path().stem() == "BACKUP") files.push_back(f.path().string());
    }
    return out;
}

// Rows of `expected` that are neither in `table` nor in the key-violation table.
inline std::vector<std::vector<std::string>> MissingRows(const TRowSet& expected, const std::string& table,
                                                         const std::string& keyViolations = {}) {
    TRowSet have = RowSet(table);
    if (!keyViolations.empty()) {
        const TRowSet moved = RowSet(keyViolations);
        have.insert(moved.begin(), moved.end());
    }
    std::vector<std::vector<std::string>> missing;
    for (const auto& row : expected) {
        const auto it = have.find(row);
        if (it == have.end()) missing.push_back(row);
        else have.erase(it);
    }
    return missing;
}

} // namespace test
