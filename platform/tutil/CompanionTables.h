// The two tables a rebuild fills with the rows it does not keep, each made only when its
// first row arrives and written under a temporary name until Finish puts it in place:
//  - the key-violation table: the source's fields and settings, no key, every row whose key
//    repeated a row kept before it, its blobs copied into its own memo file;
//  - the problem table: one row per record that could not be kept whole, with the reason,
//    the field concerned, where the record lay, its raw bytes (blob descriptors in them
//    point into the backup's memo file) and, for a person to tell which row it was, the
//    values the reader could decode as one line of text.
#pragma once

#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tutil {

// Field names of the problem table, in order.
inline constexpr const char* ProblemFieldNames[] = {"Dovod", "Pole", "Blok", "Poradie", "Posun", "Zaznam", "Text"};

class TCompanionTable {
public:
    explicit TCompanionTable(std::string path) : path_(std::move(path)) {}
    virtual ~TCompanionTable();
    TCompanionTable(const TCompanionTable&) = delete;
    TCompanionTable& operator=(const TCompanionTable&) = delete;

    std::uint64_t Rows() const { return rows_; }
    const std::string& Path() const { return path_; }
    // Flushes what was written and gives the files their names; nothing when no row came.
    void Finish(std::uint32_t autoIncrement = 0);

protected:
    void Start(std::vector<std::uint8_t> header, int recordSize, std::uint32_t blockSize, bool blobs);
    bool Started() const { return writer_ != nullptr; }
    void Add(const std::uint8_t* record);
    engine::paradox::TMemoWriter& Memo() { return *memo_; }

private:
    std::string path_;
    std::string dataTemp_, memoTemp_;
    std::unique_ptr<engine::paradox::TDataFileWriter> writer_;
    std::unique_ptr<engine::paradox::TMemoWriter> memo_;
    std::uint64_t rows_ = 0;
    bool finished_ = false;
};

class TKeyViolationTable : public TCompanionTable {
public:
    // `headerBytes`: the source's header region, kept but for the key.
    TKeyViolationTable(std::string path, const engine::paradox::TTableHeader& source,
                       std::vector<std::uint8_t> headerBytes)
        : TCompanionTable(std::move(path)), source_(source), headerBytes_(std::move(headerBytes)) {}
    // `record`'s blob descriptors point into `blobs`; the values are copied.
    void Add(const std::uint8_t* record, const engine::paradox::TMemoFile* blobs);

private:
    const engine::paradox::TTableHeader& source_;
    std::vector<std::uint8_t> headerBytes_;
    std::vector<std::uint8_t> record_;
};

struct TProblemRow {
    std::string Reason;          // UTF-8
    std::string Field;           // the field concerned, "" for the whole record
    std::uint16_t Block = 0;
    int Index = 0;               // in its block, from 0 (stored from 1)
    std::uint64_t Offset = 0;
    const std::uint8_t* Bytes = nullptr;
    std::size_t Size = 0;
    std::string Text;            // UTF-8, see ProblemRowText; cut to the field's width
};

// The values of `record` the reader can decode, as "Name=value; Name=value" in field order
// (values as `pdx dump` writes them), leaving out blanks, binary blobs and field `skip` (the
// one whose bytes hold no value; -1 for none).
std::string ProblemRowText(const engine::paradox::TRecordDecoder& decoder, const engine::paradox::TTableHeader& h,
                           const std::uint8_t* record, int skip);

class TProblemTable : public TCompanionTable {
public:
    using TCompanionTable::TCompanionTable;
    void Add(const TProblemRow& row);

private:
    engine::paradox::TTableHeader layout_;
    std::vector<std::uint8_t> record_;
};

} // namespace tutil
