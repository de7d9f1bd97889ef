// A change that moves rows is a rewrite: the records stream block by block from the current
// data file into a new one beside it, with the change applied on the way; the new primary
// index is written from the new chain and every secondary index rebuilt from it; then all of
// them replace the old files through the family journal, the data file last. A crash at any
// moment leaves the old table or (once the journal is complete) the new one. The rewrite
// holds the table's write lock from start to end.
//
// A secondary index that cannot be rebuilt exactly (see SecondaryIndexes.h) stops the
// rewrite before anything is written, unless the caller allows dropping it; dropped indexes
// are named in the options' list.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/DataFileWriter.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/HeaderWriter.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/RecordSorter.h"
#include "platform/engine/paradox/SecondaryIndexes.h"
#include "platform/rtl/AdvisoryLock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

// Creates the files of a new, empty table (.mb when it has blob fields, .px when keyed, then
// the .db). Raises AlreadyExists when `dataPath` exists, unless `replaceEmpty` (the caller
// knows it holds no rows).
void CreateTableFiles(const std::string& dataPath, const TTableLayout& layout, bool replaceEmpty = false);

// An empty table takes the code page and sort order of `source`, so rows copied into it
// keep every character (text is stored in the table's code page), and its block size when
// larger, so that as many rows fit (a table holds at most 65535 blocks). Tables with rows,
// and older files that record no code page, are left as they are.
void AdoptSourceSettings(const std::string& dataPath, const TTableHeader& source);

// The ".px" / ".mb" beside a data file, spelled in the data file's letter case when absent.
std::string CompanionPath(const std::string& dataPath, const std::string& ext);

// Writes the primary index of a new data file for `dataPath` whose chain is `blocks`, keyed
// by the first `keyFieldCount` fields of `header`, under a temporary name beside the table
// (added to `temps`). Returns the step that puts it in place.
TFamilyStep WriteNewPrimaryIndex(const std::string& dataPath, const TTableHeader& header, int keyFieldCount,
                                 std::uint8_t stamp, const std::vector<TChainBlockSummary>& blocks,
                                 std::vector<std::string>& temps);
// The steps that put a rebuilt secondary index in place (its temporaries added to `temps`),
// and those that remove the files of one dropped.
void AddRebuiltIndexSteps(const TRebuiltIndex& rebuilt, std::vector<std::string>& temps,
                          std::vector<TFamilyStep>& steps);
void AddDroppedIndexSteps(const TSecondaryIndexPlan& plan, std::vector<TFamilyStep>& steps);

// Writes the autoincrement counter of the table at `dataPath` in place (one small write,
// flushed), the only change a net change of no rows makes. `expected` is the value the
// header must still hold; anything else means the table changed underneath and raises.
void StoreAutoIncrement(const std::string& dataPath, std::uint32_t expected, std::uint32_t value);

// The table's autoincrement fields, found once for a pass over many records.
class TAutoIncrementFields {
public:
    explicit TAutoIncrementFields(const TTableHeader& header);
    // The largest value of the fields in `record` (0 when none).
    std::uint32_t Largest(const std::uint8_t* record) const;

private:
    std::vector<int> offsets_;
};

// The largest value of the table's autoincrement fields in `record` (0 when none).
std::uint32_t LargestAutoIncrement(const TTableHeader& header, const std::uint8_t* record);

struct TRewriteOptions {
    // Drop secondary indexes that cannot be kept exact (and name them in DroppedIndexes)
    // instead of refusing the change.
    bool DropUnmaintainableIndexes = false;
    std::vector<std::string>* DroppedIndexes = nullptr;
    // Where sorts spill their runs ("" for the system's temporary directory).
    std::string TempDir;
};

class TTableRewrite {
public:
    // Locks the table at `dataPath` and opens it for a rewrite whose result has
    // `keyFieldCount` key fields. Raises for encrypted tables, for a table another process is
    // writing, and for secondary indexes that could not be kept (unless allowed to drop them).
    TTableRewrite(const std::string& dataPath, int keyFieldCount, const TRewriteOptions& options = {});
    ~TTableRewrite();  // removes temporaries unless committed

    const TParadoxTable& Source() const { return *source_; }
    const TTableHeader& Header() const { return source_->Header(); }
    int KeySize() const { return keySize_; }
    TDataFileWriter& Writer() { return *writer_; }
    // Throws away what was written so far; the new data file starts again empty.
    void RestartWriter();

    // Streams every source record in chain order; raises Corrupt when the chain is damaged
    // (a rewrite would lose what a broken chain hides).
    void ForEachSourceBlock(const std::function<void(const TDataBlock&)>& fn);
    // The same, ending early (with no verdict on the rest of the chain) when `fn` returns false.
    void ForEachSourceBlockWhile(const std::function<bool(const TDataBlock&)>& fn);

    // Finishes the new files and puts them in place.
    void Commit(std::uint32_t autoIncrement);

private:
    rtl::TAdvisoryLock lock_;
    std::unique_ptr<TParadoxTable> source_;
    std::string dataPath_;
    std::string dataTemp_;
    std::vector<std::string> temps_;  // further temporaries (indexes), removed unless committed
    int keyFieldCount_;
    int keySize_;
    TRewriteOptions options_;
    std::vector<TSecondaryIndexPlan> secondaries_;
    std::unique_ptr<TDataFileWriter> writer_;
    bool committed_ = false;
};

// Turns an unkeyed table into one keyed by its first `keyFieldCount` fields, sorted by that
// key. Raises KeyViolation, changing nothing, when two records share a key, and refuses to
// order text under a sort order the engine does not model. A table larger than `sortMemory`
// is sorted in runs spilled to `tempDir`.
void AddPrimaryKey(const std::string& dataPath, int keyFieldCount, const std::string& tempDir,
                   std::size_t sortMemory = DefaultSortMemory, const TRewriteOptions& options = {});

// Records to append, produced one at a time.
class TRecordProducer {
public:
    virtual ~TRecordProducer() = default;
    virtual const std::uint8_t* Next() = 0;  // nullptr at the end
    // The destination's autoincrement value after the records produced so far.
    virtual std::uint32_t AutoIncrement() const = 0;
};

struct TAppendResult {
    std::uint64_t Appended = 0;
    std::uint64_t KeyViolations = 0;
};

struct TAppendOptions {
    bool AbortOnKeyViolation = false;
    // The produced records come in the order the destination's key keeps (a copy of a table
    // keyed the same way). Lets an empty table keyed by text under a sort order the engine
    // does not model take them as they come; any other append into such a table is refused.
    bool ProducerInStoredOrder = false;
    // Stored records to leave out (each with the bytes it must still hold).
    const std::vector<std::pair<TStoredPlace, std::string>>* Deletions = nullptr;
    // The autoincrement counter to store when larger than what the records need.
    std::uint32_t AutoIncrement = 0;
    TRewriteOptions Rewrite;
};

// Appends the produced records: at the end of an unkeyed table; into a keyed table in key
// order, skipping (or, with AbortOnKeyViolation, refusing the whole append for) records
// whose key is stored already or came earlier.
TAppendResult AppendRecords(const std::string& dataPath, TRecordProducer& producer, bool abortOnKeyViolation,
                            const std::string& tempDir);
TAppendResult AppendRecords(const std::string& dataPath, TRecordProducer& producer, const TAppendOptions& options);

} // namespace engine::paradox
