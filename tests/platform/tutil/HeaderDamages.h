// The header damages the rebuild tests apply to copies of tables, and the tables they apply
// them to: each damage says what an honest rebuild of the damaged copy does.
#pragma once

#include "tests/platform/tutil/RebuildFixtures.h"

#include "platform/engine/ParadoxTables.h"
#include "tests/database/CallTables.h"
#include "tools/tablora-sample/SampleCatalogue.h"
#include "tools/tablora-sample/SampleTableWriter.h"

#include <functional>

namespace test {

enum class TExpect {
    EveryRow,      // rebuilt with every row of the intact table, under the right geometry
    Refused,       // not rebuilt, the directory byte for byte as it was
    WholeRecords,  // rebuilt with the records the file holds whole, the rest said to be missing
};

struct TDamage {
    const char* Name;
    TExpect Expect;
    const char* Says;  // in the refusal's text or the damage reported; "a|b": either
    // Damages the table at `path` whose intact header is `h`; false when the case does not
    // apply to this table (a block size that cannot be halved).
    std::function<bool(const std::string& path, const TTableHeader& h)> Apply;
};

inline void Put16(const std::string& path, std::size_t at, unsigned v) { PatchFile(path, at, Le16(v)); }

inline std::size_t FieldDescriptor(const TTableHeader& h, std::size_t field) {
    return (h.Version >= 5 ? 0x78 : 0x58) + 2 * field;
}

// The first field whose width an 8-byte number would change.
inline std::size_t NarrowNumericField(const TTableHeader& h) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const auto t = h.Fields[i].TypeCode;
        if (t == ftLong || t == ftShort || t == ftDate || t == ftTime || t == ftAutoInc) return i;
    }
    return h.Fields.size();
}

// Half way through the last block's first record.
inline std::uint64_t CutInsideTheLastBlock(const TTableHeader& h) {
    return h.BlockOffset(h.LastBlock) + 6 + h.RecordSize / 2;
}

inline const std::vector<TDamage>& Damages() {
    static const std::vector<TDamage> damages{
        {"header size one unit too large", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x02, h.HeaderSize + 0x800u); return true; }},
        {"header size three units too large", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x02, h.HeaderSize + 0x1800u); return true; }},
        {"header size below its content", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader&) { Put16(p, 0x02, 0x80); return true; }},
        {"block size doubled", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, 0x05, std::string(1, static_cast<char>(h.BlockSize / 512)));
             return h.BlockSize <= 16384;
         }},
        {"block size halved", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, 0x05, std::string(1, static_cast<char>(h.BlockSize / 2048)));
             return h.BlockSize >= 2048;
         }},
        {"block size of 3 KiB", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader&) { PatchFile(p, 0x05, std::string(1, '\x03')); return true; }},
        {"record size one byte more", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x00, h.RecordSize + 1u); return true; }},
        {"record size one byte less", TExpect::EveryRow, "the blocks lie as under",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x00, h.RecordSize - 1u); return true; }},
        {"record size 0", TExpect::Refused, "a size of 0 bytes",
         [](const std::string& p, const TTableHeader&) { Put16(p, 0x00, 0); return true; }},
        {"one field more", TExpect::Refused, "",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x21, h.Fields.size() + 1u); return true; }},
        {"one field fewer", TExpect::Refused, "the field list does not describe the records",
         [](const std::string& p, const TTableHeader& h) { Put16(p, 0x21, h.Fields.size() - 1u); return true; }},
        {"a type code no version defines", TExpect::Refused, "type code 7",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, FieldDescriptor(h, 1), std::string(1, '\x07'));
             return true;
         }},
        {"a type code of another width", TExpect::Refused, "which no Paradox version allows",
         [](const std::string& p, const TTableHeader& h) {
             const std::size_t field = NarrowNumericField(h);
             if (field == h.Fields.size()) return false;
             PatchFile(p, FieldDescriptor(h, field), std::string(1, static_cast<char>(ftNumber)));
             return true;
         }},
        // Keyed tables are refused for their key first.
        {"field descriptors zeroed", TExpect::Refused, "type code 0|key fields of",
         [](const std::string& p, const TTableHeader& h) {
             PatchFile(p, FieldDescriptor(h, 0), std::string(2 * h.Fields.size(), '\0'));
             return true;
         }},
        {"last block cut inside a record", TExpect::WholeRecords, "cut off by the end of the file",
         [](const std::string& p, const TTableHeader& h) {
             std::string bytes = ReadBytes(p);
             bytes.resize(CutInsideTheLastBlock(h));
             WriteBytes(p, bytes);
             return true;
         }},
    };
    return damages;
}

struct TSource {
    const char* Name;
    std::function<std::string(const std::string& dir)> Make;
};

inline const std::vector<TSource>& Sources() {
    static const std::vector<TSource> sources{
        // Keyed by a number, 224 rows in 8 blocks of 2 KiB.
        {"ORDERS.DB", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir);
         }},
        // Unkeyed, a 3.0 header exactly as long as its content, blocks of 1 KiB.
        {"AREACODE.DB (3.0)", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/areas/AREACODE.DB", dir);
         }},
        // A call table as the billing application keeps it: IDXFIELD, every type, memos.
        {"Hovory.db", [](const std::string& dir) { return MakeCallTable(dir + "/Hovory.db", 150); }},
    };
    return sources;
}

// The records pxlib reads, blob descriptors left out (a rebuild writes the memo file anew).
inline std::multiset<std::string> OutsideRows(const std::string& path) {
    const TTableHeader h = TParadoxTable::Open(path)->Header();
    std::multiset<std::string> rows;
    for (std::string r : PxlibRecords(path)) {
        for (const auto& f : h.Fields)
            if (IsBlobField(f.TypeCode)) r.replace(static_cast<std::size_t>(f.Offset + f.Size - 10), 10, 10, '\0');
        rows.insert(r);
    }
    return rows;
}

// A table of the demo database as tablora-sample writes it, the call table with `calls` rows.
inline std::string MakeDemoTable(const std::string& dir, const std::string& name, std::uint64_t calls) {
    for (const auto& table : sample::SampleTables(calls))
        if (table.Name == name) {
            const std::string path = dir + "/" + name + ".DB";
            sample::WriteSampleTable(path, table, 1, table.Rows);
            return path;
        }
    ADD_FAILURE() << "no table " << name << " in the demo catalogue";
    return {};
}

struct TByteDamage {
    std::string What;
    std::size_t At;
    std::uint8_t Value;
};

inline std::vector<TByteDamage> SizingDamages(const std::string& path) {
    const std::string header = ReadBytes(path).substr(0, 0x800);
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(header[at]); };
    const TTableHeader h = TParadoxTable::Open(path)->Header();
    std::vector<TByteDamage> out;
    auto add = [&](const std::string& what, std::size_t at, std::initializer_list<int> values) {
        for (const int v : values)
            if (static_cast<std::uint8_t>(v) != byte(at)) out.push_back({what, at, static_cast<std::uint8_t>(v)});
    };
    add("record size", 0x00, {byte(0) + 1, byte(0) - 1, byte(0) ^ 0x80});
    add("record size, high byte", 0x01, {byte(1) + 1});
    add("header size", 0x02, {byte(2) ^ 0x10, byte(2) ^ 0x80});
    add("header size, high byte", 0x03, {byte(3) + 1, byte(3) + 2, byte(3) ^ 0x10});
    add("block size", 0x05, {byte(5) + 1, byte(5) * 2, byte(5) - 1});
    add("record count", 0x06, {byte(6) + 1, byte(6) - 1, byte(6) ^ 0x80});
    add("blocks in use", 0x0A, {byte(0x0A) ^ 0x01});
    add("blocks allocated", 0x0C, {byte(0x0C) ^ 0x01});
    add("first block", 0x0E, {0, 2});
    add("last block", 0x10, {byte(0x10) ^ 0x01});
    add("field count", 0x21, {byte(0x21) + 1, byte(0x21) - 1});
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const std::size_t at = FieldDescriptor(h, i) + 1;
        add("size of field " + std::to_string(i + 1), at, {byte(at) + 1});
        if (h.Fields[i].TypeCode == ftAlpha) add("size of field " + std::to_string(i + 1), at, {255});
    }
    return out;
}

// Two demo tables and sample tables of other versions, block sizes and keys.
inline const std::vector<TSource>& SizingSources() {
    static const std::vector<TSource> sources{
        {"Hovory (demo)", [](const std::string& dir) { return MakeDemoTable(dir, sample::CallTableName, 400); }},
        // One block: bytes inside its records can pass for a block header of their own.
        {"TarifyVZonach (demo)", [](const std::string& dir) { return MakeDemoTable(dir, "TarifyVZonach", 0); }},
        {"ORDERS.DB", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/db/ORDERS.DB", dir);
         }},
        // Blocks of 16 KiB, a secondary index.
        {"AREACODES.DB", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/db/AREACODES.DB", dir);
         }},
        {"AREACODE.DB (3.0)", [](const std::string& dir) {
             return CopySampleFamily("paradoxdriver/src/test/resources/areas/AREACODE.DB", dir);
         }},
    };
    return sources;
}

} // namespace test
