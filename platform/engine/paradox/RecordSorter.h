// Sorts fixed-size records by their leading key bytes (byte order, which is key order for
// the encoded numeric types), stable for equal keys. Records beyond the memory budget are
// sorted in runs spilled to files in a temporary directory and merged on the way out, so a
// table of any size sorts in bounded memory.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

class TRecordSorter {
public:
    TRecordSorter(int recordSize, int keySize, std::string tempDir, std::size_t memoryBudget = 64u << 20);
    ~TRecordSorter();
    TRecordSorter(const TRecordSorter&) = delete;
    TRecordSorter& operator=(const TRecordSorter&) = delete;

    void Add(const std::uint8_t* record);
    // Ends adding; records then come out in key order through Next().
    void Finish();
    // The next record in key order, or nullptr at the end; valid until the next call.
    const std::uint8_t* Next();

private:
    struct TRun;
    void SpillRun();
    void SortBuffer();

    int recordSize_;
    int keySize_;
    std::string tempDir_;
    std::size_t budgetRecords_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint32_t> order_;
    std::vector<std::unique_ptr<TRun>> runs_;
    std::vector<std::string> runPaths_;
    std::size_t nextInMemory_ = 0;
    bool merging_ = false;
    std::vector<std::uint8_t> current_;
};

} // namespace engine::paradox
