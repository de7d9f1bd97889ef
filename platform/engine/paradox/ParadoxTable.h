// One Paradox table opened for reading: its header, its memo file, and its records streamed
// in chain order one block at a time. Whatever the bytes, reading never crashes, hangs or
// reads out of bounds; inconsistencies are collected as problems.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/MemoFile.h"
#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/RecordDecoder.h"
#include "platform/engine/paradox/TableGeometry.h"
#include "platform/engine/paradox/TableHeader.h"
#include "platform/engine/paradox/TableProblem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace engine::paradox {

struct TRecordRef {
    std::uint16_t Block = 0;        // data block holding the record
    int IndexInBlock = 0;
    std::uint64_t FileOffset = 0;   // of the record's first byte
    const std::uint8_t* Bytes = nullptr;  // RecordSize bytes, valid during the callback only
    bool Whole = true;              // false: the end of the file cuts it off (read as zeros beyond)
};

class TParadoxTable {
public:
    // Opens the .db file at `dataPath` (exact path). Raises EDBEngineError when the file is
    // missing or no record layout can be derived from its header. An encrypted table opens;
    // its rows are not decoded. The files are read as they stand: an interrupted change of
    // the family is left to the next writer and noted for the user (InterruptedRuns.h).
    static std::unique_ptr<TParadoxTable> Open(const std::string& dataPath);
    // Opens the .db file at `dataPath` read under `header`, taken from another copy of the
    // same table: its own header, too damaged to describe its records, is not read. The
    // caller has checked that the file's blocks fit `header`.
    static std::unique_ptr<TParadoxTable> OpenUnder(const std::string& dataPath, TTableHeader header);

    const std::string& Path() const { return file_->Path(); }
    const TRandomAccessFile& File() const { return *file_; }
    const TTableHeader& Header() const { return header_; }
    // Problems found while opening (header, memo file header).
    const TProblemList& OpenProblems() const { return openProblems_; }
    const TMemoFile* Memo() const { return memo_.get(); }  // null: the table has no blob fields
    TRecordDecoder Decoder() const { return TRecordDecoder(header_, memo_.get()); }

    // Calls `fn` for every record of the chain in order until it returns false. Chain faults
    // go to `problems`. Encrypted tables yield no records.
    void ForEachRecord(const std::function<bool(const TRecordRef&)>& fn, TProblemList& problems) const;

    // Records readable through the chain (header count mismatches do not matter).
    std::uint64_t CountReadableRecords() const;

    // From now on the blocks and records are read under `g` rather than the geometry the
    // header gives (see ChooseGeometry); the file is not changed.
    void ReadUnder(const TTableGeometry& g) { ApplyGeometry(header_, g); }

private:
    TParadoxTable() = default;
    static std::unique_ptr<TParadoxTable> OpenMemo(std::unique_ptr<TParadoxTable> table);
    std::unique_ptr<TRandomAccessFile> file_;
    TTableHeader header_;
    TProblemList openProblems_;
    std::unique_ptr<TMemoFile> memo_;
};

// The table at `dir`/`name` (".db" optional, letter case ignored); raises NotFound when
// there is none.
std::unique_ptr<TParadoxTable> OpenTableByName(const std::string& dir, const std::string& name);

// A table given as a path to its data file, with or without ".db", letter case ignored in
// the file name.
std::unique_ptr<TParadoxTable> OpenTableByPath(const std::string& path);

} // namespace engine::paradox
