// What a rebuild writes: the new data file and memo file beside the table under temporary
// names, the primary index and the secondary indexes that can be kept exactly, and the
// companion tables in the run's directory. Every row read is checked against its field types
// and its blobs read: good rows go to the new data file (keyed tables in key order by bytes,
// or in their stored order when text keys follow a sort order the engine does not model),
// rows repeating a key to the key-violation table, unreadable and unplaceable rows to the
// problem table. Memory stays bounded: a window of a few blocks' worth of keyed rows is put
// in key order on its way out, rows further out of order go round through an external sort.
#pragma once

#include "platform/engine/ParadoxWriters.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/tutil/CompanionTables.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/RebuildSource.h"
#include "platform/tutil/RecordValidation.h"
#include "platform/tutil/RecoveredRows.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tutil {

// Memory the sorts of one rebuild may use before they spill to the companion directory.
inline constexpr std::size_t RebuildSortMemory = 16u << 20;

// Rows the output could not keep as they came, by why.
struct TRowsSetAside {
    std::uint64_t OutOfOrder = 0;   // keyed rows that came below a key seen before
    std::uint64_t Unreadable = 0;   // a field no reader can take as a value
    std::uint64_t Unplaceable = 0;  // outside the chain, with keys the engine cannot order
    std::uint64_t Partial = 0;      // cut short by the end of the file
    std::uint64_t ToProblems() const { return Partial + Unreadable + Unplaceable; }
};

class TRebuildOutput {
public:
    // Starts the new files of `source`'s table beside it, the companions in `companionDir`.
    TRebuildOutput(const TRebuildSource& source, const std::string& companionDir, const std::string& keyViolationName,
                   const std::string& problemName, TRebuildReport& report);
    TRebuildOutput(const TRebuildOutput&) = delete;
    TRebuildOutput& operator=(const TRebuildOutput&) = delete;

    // One row read from the table.
    void Take(const TRecoveredRow& row);
    // After the last row: the new data file whole, its counts in the report.
    void FinishData();
    // The new indexes, each with the step that puts it in place; the companions finished.
    void FinishIndexesAndCompanions();

    std::uint64_t KeyViolationRows() const { return keyViolations_->Rows(); }
    const TRowsSetAside& SetAside() const { return setAside_; }
    // The largest autoincrement value among the rows kept.
    std::uint32_t LargestAutoIncrement() const { return autoIncrement_; }
    // The steps that put the new files in place, the data file's last, then the removals of
    // indexes dropped.
    std::vector<engine::paradox::TFamilyStep> SwapSteps() const;
    // Removes the new files (the rebuild will not put them in place).
    void Discard();

private:
    // Makes the new files and the companions.
    void Start(const std::string& keyViolationName, const std::string& problemName);
    void Route(const std::uint8_t* record);
    // Writes a keyed row that leaves the window, or hands it to the sorter when a row of a
    // key not smaller is written already.
    void Emit(const std::uint8_t* record);
    void MergeSorted();
    void DropRepeatedKeys();
    // Finishes the data file written so far and starts another; returns the finished one.
    std::string RestartData();
    void ForEachRecordOf(const std::string& path, const engine::paradox::TRowVisitor& fn);
    // The finished memo file, for the blobs of rows moving to the key-violation table.
    std::unique_ptr<engine::paradox::TMemoFile> OpenWrittenBlobs() const;
    std::string TempBeside(const std::string& path);
    void ToProblems(const TRecoveredRow& row, const std::string& reason, int field);

    const TRebuildSource& source_;
    const engine::paradox::TTableHeader& header_;
    std::string companionDir_;
    TRebuildReport& report_;

    std::vector<std::string> temps_;
    std::string dataTemp_, memoTemp_;
    std::unique_ptr<engine::paradox::TDataFileWriter> writer_;
    std::unique_ptr<engine::paradox::TMemoWriter> memo_;
    std::unique_ptr<engine::paradox::TKeyOrderedSink> sink_;
    std::unique_ptr<engine::paradox::TKeyOrderWindow> window_;  // keyed rows on their way into the new file
    std::unique_ptr<engine::paradox::TRecordSorter> sorter_;    // keyed rows that came out of key order
    std::unique_ptr<engine::paradox::TAllKeysCheck> allKeys_;   // stored order: every key
    const engine::paradox::TMemoFile* mergedBlobs_ = nullptr;   // while rows are merged
    std::unique_ptr<TKeyViolationTable> keyViolations_;
    std::unique_ptr<TProblemTable> problems_;
    TRecordChecker checker_;
    engine::paradox::TAutoIncrementFields autoIncFields_;
    std::vector<int> blobFields_;
    std::vector<std::uint8_t> record_;
    std::vector<std::uint8_t> largestKey_;  // of all rows so far
    bool haveLargest_ = false;
    std::uint32_t autoIncrement_ = 0;
    TRowsSetAside setAside_;
    std::vector<std::uint8_t> newHeader_;
    std::vector<engine::paradox::TChainBlockSummary> newBlocks_;
    std::vector<engine::paradox::TFamilyStep> steps_, removals_;
};

} // namespace tutil
