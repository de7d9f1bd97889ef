// Keyed rows on their way into a new data file, the last few blocks' worth held back in key
// order: rows that arrive a little out of order (two blocks linked the wrong way round) still
// stream into place instead of waiting for a sort and a merge that rewrites the whole file.
// Keys compare by their bytes; rows of equal keys leave in the order they came.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace engine::paradox {

class TKeyOrderWindow {
public:
    // Rows of `recordSize` bytes whose first `keySize` bytes are the key; room for `capacity`.
    TKeyOrderWindow(std::size_t recordSize, std::size_t keySize, std::size_t capacity);

    bool Empty() const { return order_.empty(); }
    bool Full() const { return free_.empty(); }
    // Takes a copy of `record`; the window must not be full.
    void Add(const std::uint8_t* record);
    // The row with the smallest key, valid until the next Pop; the window must not be empty.
    const std::uint8_t* Front() const { return Slot(order_.front()); }
    void Pop();

private:
    const std::uint8_t* Slot(std::uint32_t slot) const { return rows_.data() + slot * recordSize_; }

    std::size_t recordSize_, keySize_;
    std::vector<std::uint8_t> rows_;
    std::vector<std::uint32_t> free_;   // slots not in use
    std::deque<std::uint32_t> order_;   // slots in use, by key, then by arrival
};

} // namespace engine::paradox
