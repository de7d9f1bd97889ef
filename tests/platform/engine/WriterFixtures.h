// Helpers for tests of the table writer: tables of every field type generated row by row
// (in bulk, through the engine's append path), and whole tables read back as dump cells.
#pragma once

#include "platform/engine/EngineErrors.h"
#include "platform/engine/EngineObjects.h"
#include "platform/engine/FieldValueCodec.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace test {

using namespace engine::paradox;

// One field of each type the engine writes (BCD with 2 decimals, memo leader 10).
inline TTableLayout AllTypesLayout(int keyFields = 0) {
    TTableLayout l;
    l.Fields = {{"Id", ftLong, 4},        {"Name", ftAlpha, 30},      {"Born", ftDate, 4},
                {"Small", ftShort, 2},    {"Price", ftCurrency, 8},   {"Ratio", ftNumber, 8},
                {"Active", ftLogical, 1}, {"Notes", ftMemo, 20},      {"Data", ftBlob, 10},
                {"Rich", ftFmtMemo, 10},  {"Ole", ftOle, 10},         {"Picture", ftGraphic, 10},
                {"At", ftTime, 4},        {"Stamp", ftTimestamp, 8},  {"Counter", ftAutoInc, 4},
                {"Amount", ftBcd, 2},     {"Raw", ftBytes, 6}};
    l.KeyFieldCount = keyFields;
    l.CodePage = 1250;
    return l;
}

inline std::string Prefixed(std::uint8_t kind, const std::string& payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string v{'\x01', '\x00', '\x00', static_cast<char>(kind)};
    for (int i = 0; i < 4; ++i) v += static_cast<char>((length >> (8 * i)) & 0xFF);
    return v + payload;
}

// The value of field `field` in generated row `i`; every 11th row leaves most fields blank.
inline engine::TValue AllTypesValue(std::uint64_t i, int field) {
    const auto n = static_cast<std::int64_t>(i);
    const bool blank = i % 11 == 5 && field != 0 && field != 14;
    if (blank) return std::monostate{};
    switch (field) {
    case 0: return n * 3 - 7;  // key: unique, ascending, starts negative
    case 1: return std::string(i % 4 == 0 ? "Žltý kôň " : "Row ") + std::to_string(n);
    case 2: return std::int64_t{730000} + n;
    case 3: return (n % 60000) - 30000;
    case 4: return static_cast<double>(n) * 0.25 - 100;
    case 5: return -static_cast<double>(n) / 3.0;
    case 6: return i % 2 == 0;
    case 7:  // memo: in the leader, shared blocks, and a block of its own
        if (i % 3 == 0) return std::string("krátke");
        if (i % 17 == 1) return std::string(3000 + i % 100, static_cast<char>('a' + i % 26));
        return "Poznámka č. " + std::to_string(n) + " " + std::string(i % 200, 'x');
    case 8: return std::string("\x01\x00\xff", 3) + std::to_string(n);
    case 9: return std::string("{\\rtf1 ") + std::to_string(n) + "}";
    // Graphic and OLE values carry their 8-byte prefix (kind, length - 8), as stored.
    case 10: return Prefixed(2, "OLE object " + std::to_string(n));
    case 11: return i % 50 == 0 ? Prefixed(1, "BM" + std::string(5000, '\x42')) : std::string();
    case 12: return (n * 1000 + 7) % 86400000;
    case 13: return 63716202001000.0 + static_cast<double>(n) * 1000;
    case 14: return std::monostate{};  // numbered by the engine
    case 15: return (i % 2 ? "-" : "") + std::to_string(n) + ".05";
    case 16: return std::string("\x00\x01", 2) + std::to_string(n % 100);
    default: return std::monostate{};
    }
}

// Produces `count` rows from `value(i, field)` into a table with header `header` at `path`,
// storing blobs in its .mb and numbering blank autoincrement fields.
class TGeneratedRows : public TRecordProducer {
public:
    TGeneratedRows(const std::string& path, std::uint64_t count,
                   std::function<engine::TValue(std::uint64_t, int)> value)
        : path_(path), count_(count), value_(std::move(value)) {
        header_ = TParadoxTable::Open(path)->Header();
        record_.resize(header_.RecordSize);
        autoInc_ = header_.AutoIncrement;
    }
    const std::uint8_t* Next() override {
        if (i_ == count_) {
            if (memo_) memo_->Finish();
            memo_.reset();
            return nullptr;
        }
        std::fill(record_.begin(), record_.end(), 0);
        for (std::size_t f = 0; f < header_.Fields.size(); ++f) {
            const auto& field = header_.Fields[f];
            engine::TValue v = value_(i_, static_cast<int>(f));
            if (field.TypeCode == ftAutoInc && engine::IsNull(v)) v = static_cast<std::int64_t>(++autoInc_);
            std::string blob;
            engine::EncodeValue(field, v, header_.EffectiveCodePage(), record_.data(), blob);
            if (!blob.empty()) {
                if (!memo_) memo_ = TMemoWriter::OpenForAppend(CompanionPath(path_, ".mb"));
                memo_->Store(blob, record_.data() + field.Offset, field.Size);
            }
        }
        ++i_;
        return record_.data();
    }
    std::uint32_t AutoIncrement() const override { return autoInc_; }

private:
    std::string path_;
    std::uint64_t count_;
    std::function<engine::TValue(std::uint64_t, int)> value_;
    TTableHeader header_;
    std::vector<std::uint8_t> record_;
    std::uint32_t autoInc_ = 0;
    std::uint64_t i_ = 0;
    std::unique_ptr<TMemoWriter> memo_;
};

// Creates `path` with `layout` and `count` generated rows.
inline void MakeTable(const std::string& path, const TTableLayout& layout, std::uint64_t count,
                      std::function<engine::TValue(std::uint64_t, int)> value = AllTypesValue) {
    CreateTableFiles(path, layout);
    TGeneratedRows rows(path, count, std::move(value));
    AppendRecords(path, rows, true, std::filesystem::temp_directory_path().string());
}

// A table keyed by text ("Name", "N" = the row's number) under the sort order `code` /
// `name`, its rows stored in the order given (as another program left them).
inline std::string MakeTextKeyed(const std::string& path, const std::vector<std::string>& keys, std::uint8_t code,
                                 const std::string& name) {
    TTableLayout layout;
    layout.Fields = {{"Name", ftAlpha, 20}, {"N", ftLong, 4}};
    layout.KeyFieldCount = 1;
    layout.SortOrderCode = code;
    layout.SortOrderName = name;
    CreateTableFiles(path, layout);
    const auto header = TParadoxTable::Open(path)->Header();
    TTableRewrite rewrite(path, 1);
    std::vector<std::uint8_t> record(header.RecordSize);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::fill(record.begin(), record.end(), 0);
        std::string blob;
        engine::EncodeValue(header.Fields[0], keys[i], 1252, record.data(), blob);
        engine::EncodeValue(header.Fields[1], static_cast<std::int64_t>(i), 1252, record.data(), blob);
        rewrite.Writer().Add(record.data());
    }
    rewrite.Commit(0);
    return path;
}

// The same under an international sort order.
inline std::string MakeInternational(const std::string& path, const std::vector<std::string>& keys) {
    return MakeTextKeyed(path, keys, 0x11, "ANSII850");
}

// What a batch move that counts key violations instead of stopping at them did.
struct TMoveOutcome {
    bool Refused = false;  // it raised, with:
    engine::TEngineErrorKind Kind{};
    std::string Message;
    int Counted = 0;  // the violations it counted when it went on
};

inline TMoveOutcome MoveCountingViolations(const std::string& from, const std::string& to) {
    engine::TTable source, dest;
    source.TableName = from;
    dest.TableName = to;
    engine::TBatchMove move;
    move.Source = &source;
    move.Destination = &dest;
    move.AbortOnKeyViol = false;
    TMoveOutcome outcome;
    try {
        move.Execute();
        outcome.Counted = move.KeyViolCount;
    } catch (const engine::EDBEngineError& e) {
        outcome = TMoveOutcome{true, e.Kind(), e.Message(), 0};
    }
    return outcome;
}

// Every row of a table as dump cells (blobs through our own reader), in chain order.
inline std::vector<std::vector<std::string>> ReadRows(const std::string& path) {
    const auto table = TParadoxTable::Open(path);
    const auto decoder = table->Decoder();
    std::vector<std::vector<std::string>> rows;
    std::vector<TFieldValue> values;
    TProblemList problems;
    table->ForEachRecord(
        [&](const TRecordRef& r) {
            decoder.Decode(r.Bytes, values, nullptr);
            std::vector<std::string> cells;
            for (std::size_t i = 0; i < values.size(); ++i)
                cells.push_back(FormatFieldValue(values[i], table->Header().Fields[i].TypeCode));
            rows.push_back(std::move(cells));
            return true;
        },
        problems);
    return rows;
}

// The expected dump cells of generated row `i` (autoincrement field `autoField` = `autoValue`).
inline std::vector<std::string> ExpectedCells(const TTableHeader& h, std::uint64_t i,
                                              const std::function<engine::TValue(std::uint64_t, int)>& value) {
    std::vector<std::uint8_t> record(h.RecordSize, 0);
    std::vector<std::string> cells;
    for (std::size_t f = 0; f < h.Fields.size(); ++f) {
        const auto& field = h.Fields[f];
        const engine::TValue v = value(i, static_cast<int>(f));
        std::string blob;
        engine::EncodeValue(field, v, h.EffectiveCodePage(), record.data(), blob);
        TFieldValue decoded;
        if (IsBlobField(field.TypeCode)) {
            decoded.IsNull = blob.empty();
            decoded.Bytes = field.TypeCode == ftMemo ? ToUtf8(blob, h.EffectiveCodePage()) : blob;
        } else {
            decoded = TRecordDecoder(h, nullptr).DecodeField(record.data(), static_cast<int>(f), nullptr);
        }
        cells.push_back(FormatFieldValue(decoded, field.TypeCode));
    }
    return cells;
}

// What the next run that writes `dir` does first: it completes the family changes a killed
// or failed run left, where they may be. Reads leave them.
inline void CompleteAsTheNextWriter(const std::string& dir) {
    const auto held = engine::paradox::LockDirectoryForFamilies(dir);
}

// Every file of a directory with its bytes, to prove a failed write changed nothing.
inline std::map<std::string, std::string> DirectoryBytes(const std::string& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        out[e.path().filename().string()] = s.str();
    }
    return out;
}

// Copies a sample's family into `dir` (tests change copies, never the samples); returns the
// copy's data file.
inline std::string CopySampleFamily(const std::string& relative, const std::string& dir) {
    const std::filesystem::path src = std::filesystem::path(TABLORA_SAMPLES_DIR) / relative;
    const std::string stem = src.stem().string();
    for (const auto& e : std::filesystem::directory_iterator(src.parent_path()))
        if (e.path().stem().string() == stem)
            std::filesystem::copy_file(e.path(), std::filesystem::path(dir) / e.path().filename());
    return (std::filesystem::path(dir) / src.filename()).string();
}

// Two snapshots of a directory (DirectoryBytes) hold the same files with the same bytes;
// a failure names the files, not their bytes.
inline void ExpectSameFiles(const std::map<std::string, std::string>& before,
                            const std::map<std::string, std::string>& after) {
    for (const auto& [name, bytes] : before) {
        const auto it = after.find(name);
        if (it == after.end()) ADD_FAILURE() << name << " is gone";
        else if (it->second != bytes) ADD_FAILURE() << name << " changed";
    }
    for (const auto& [name, bytes] : after)
        if (!before.count(name)) ADD_FAILURE() << name << " appeared";
}

// Every problem the table check finds in the table at `path` fails the test.
inline void ExpectConsistent(const std::string& path) {
    const auto table = TParadoxTable::Open(path);
    for (const auto& p : CheckTable(*table).Problems) ADD_FAILURE() << path << ": " << p.Describe();
}

// The sample at `path` opened for reading, or null when it cannot be opened or is encrypted:
// tests that walk every sample skip those.
inline std::unique_ptr<TParadoxTable> OpenReadableSample(const std::string& path) {
    try {
        auto table = TParadoxTable::Open(path);
        if (!table->Header().IsEncrypted()) return table;
    } catch (const engine::EDBEngineError&) {
    }
    return nullptr;
}

} // namespace test
