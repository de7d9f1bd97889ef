// Sorts fixed-size records by their leading key bytes (byte order, which is key order for
// the encoded numeric types), stable for equal keys. Records beyond the memory budget are
// sorted in runs spilled to files in a temporary directory and merged on the way out, so a
// table of any size sorts in bounded memory.
//
// Only small (key prefix, arrival number) entries are sorted; the records stay where they
// arrived and are fetched in order when a run is written or read out.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

// What a command may hold for sorting: with the rest of the process it stays well under
// 64 MiB, whatever the table's size (a million 60-byte records spill in three runs).
inline constexpr std::size_t DefaultSortMemory = 32u << 20;

class TRecordSorter {
public:
    // `memoryBudget` covers the records and the sort's own entries.
    TRecordSorter(int recordSize, int keySize, std::string tempDir, std::size_t memoryBudget = DefaultSortMemory);
    ~TRecordSorter();
    TRecordSorter(const TRecordSorter&) = delete;
    TRecordSorter& operator=(const TRecordSorter&) = delete;

    void Add(const std::uint8_t* record) { Add(record, 1); }
    // `count` records stored one after another.
    void Add(const std::uint8_t* records, std::size_t count);
    // Ends adding; records then come out in key order through Next().
    void Finish();
    // The next record in key order, or nullptr at the end; valid until the next call.
    const std::uint8_t* Next();

    // Runs spilled to files so far (for tests).
    std::size_t SpilledRuns() const { return runPaths_.size(); }

private:
    struct TWide {
        std::uint64_t prefix;  // the key's first 8 bytes, big-endian
        std::uint32_t index;   // arrival number in the buffer
    };
    class TRun;
    void Sort();
    std::size_t SortedIndex(std::size_t position) const;
    void SpillRun();
    void StartMerge();
    bool RunLess(std::size_t a, std::size_t b) const;
    void SiftDown(std::size_t at);

    std::size_t recordSize_;
    std::size_t keySize_;
    bool narrow_;  // key of at most 4 bytes: an entry is one number, key above arrival
    std::string tempDir_;
    std::size_t budgetRecords_;
    std::size_t budgetBytes_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint64_t> narrowEntries_;
    std::vector<TWide> wideEntries_;
    std::size_t count_ = 0;
    std::vector<std::string> runPaths_;
    std::vector<std::unique_ptr<TRun>> runs_;
    std::vector<std::size_t> heap_;  // runs with records left, smallest head first
    std::size_t nextInMemory_ = 0;
    bool merging_ = false;
    std::size_t pendingRun_ = SIZE_MAX;  // run whose head Next() handed out last
};

} // namespace engine::paradox
