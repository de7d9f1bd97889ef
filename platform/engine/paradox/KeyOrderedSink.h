// Keyed rows on their way into a new data file in ascending key order (keys compare by their
// bytes). The one place that decides what a row whose key is written already becomes: the
// append refuses or counts it, the rebuild moves it to its key-violation table. Rows come
// in order, as the stored rows of a table merged with sorted new ones, or (the rebuild)
// nearly in order through a window, the few further behind going round through a sort.
// Tables keyed by text under a sort order the engine does not model keep their stored order;
// their keys are checked all against all instead (TAllKeysCheck).
#pragma once

#include "platform/engine/paradox/DataFileWriter.h"
#include "platform/engine/paradox/RecordSorter.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine::paradox {

// The rows a file holds already, in key order, or rows added to them.
enum class TRowOrigin { Stored, Added };

using TRowVisitor = std::function<void(const std::uint8_t* row)>;
// Hands every row of a source, in key order, to the visitor.
using TOrderedRows = std::function<void(const TRowVisitor&)>;

class TKeyOrderedSink {
public:
    // What becomes of a row whose key equals the key written last.
    using TRepeatHandler = std::function<void(const std::uint8_t* row, TRowOrigin origin)>;

    TKeyOrderedSink(std::size_t keySize, TRepeatHandler onRepeat);

    // Where rows go from now on (a new file: its first row repeats no key).
    void WriteTo(TDataFileWriter& writer);
    void WriteTo(TRowVisitor write);
    // True when `row` cannot follow what is written: its key is not above the key written last.
    bool Behind(const std::uint8_t* row) const;
    // Writes `row`, whose key is not below the key written last; a row repeating that key
    // goes to the handler instead. Returns whether the row was written.
    bool Put(const std::uint8_t* row, TRowOrigin origin);
    // Puts the rows of `stored` (Stored) merged with the rows of the finished `added`
    // (Added): on equal keys the stored row comes first.
    void Merge(const TOrderedRows& stored, TRecordSorter& added);

    // Rows of `origin` written since the sink was made.
    std::uint64_t Written(TRowOrigin origin) const { return written_[origin == TRowOrigin::Added]; }

private:
    std::size_t keySize_;
    TRepeatHandler onRepeat_;
    TRowVisitor write_;
    std::vector<std::uint8_t> lastKey_;
    bool haveLast_ = false;
    std::uint64_t written_[2] = {0, 0};
};

// Every key of a stream of rows checked against every other in bounded memory, for rows
// whose equal keys need not be neighbours.
class TAllKeysCheck {
public:
    TAllKeysCheck(std::size_t keySize, const std::string& tempDir, std::size_t sortMemory = DefaultSortMemory);

    // Takes the key of the next row; rows are numbered from 0 in the order they come.
    void Add(const std::uint8_t* row);
    // Ends adding. The numbers of the rows whose key an earlier row has, ascending.
    std::vector<std::uint64_t> Repeats();

private:
    std::size_t keySize_;
    TRecordSorter sorter_;  // key and row number, big-endian: equal keys by their arrival
    std::vector<std::uint8_t> entry_;
    std::uint64_t rows_ = 0;
};

} // namespace engine::paradox
