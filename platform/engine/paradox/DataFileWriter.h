// Writes a complete data file front to back: blocks in chain order numbered 1..n, each
// holding records packed from byte 6, then the header last, so a file is never reachable
// with a header that points at blocks not yet written. No free list: every block is in use.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/HeaderWriter.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/WritableFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

class TDataFileWriter {
public:
    // `header`: the header region to write at offset 0 (patched at Finish). `keySize`: bytes
    // of the primary key at the start of each record (0 for unkeyed tables).
    TDataFileWriter(const std::string& path, std::vector<std::uint8_t> header, int recordSize,
                    std::uint32_t blockSize, int keySize);

    int Capacity() const { return capacity_; }
    // Appends a record to the current block, starting a new block when it is full.
    void Add(const std::uint8_t* record);
    // Closes the current block (when it holds records); the next record starts a new one.
    void EndBlock();
    // Records in the block being filled.
    int PendingInBlock() const { return inBlock_; }

    // Writes the last block and the patched header, and flushes the file to the disk.
    void Finish(THeaderCounts counts);

    std::uint64_t Records() const { return records_; }
    const std::vector<std::uint8_t>& Header() const { return header_; }  // patched after Finish
    const std::vector<TChainBlockSummary>& Blocks() const { return blocks_; }

private:
    void FlushPrevious(std::uint16_t next);

    std::unique_ptr<TWritableFile> file_;
    std::vector<std::uint8_t> header_;
    int recordSize_;
    std::uint32_t blockSize_;
    int keySize_;
    int capacity_;
    std::vector<std::uint8_t> current_;   // block being filled
    int inBlock_ = 0;
    std::vector<std::uint8_t> previous_;  // filled block waiting for its next link
    bool havePrevious_ = false;
    std::vector<std::uint8_t> out_;       // blocks buffered for one larger write
    std::uint64_t outOffset_ = 0;
    std::uint64_t handedToDisk_ = 0;
    std::uint64_t records_ = 0;
    std::vector<TChainBlockSummary> blocks_;
};

// Writes the primary index (.px) for a data file whose chain is `blocks`, as a B-tree:
// one leaf entry per data block, upper levels until one root block remains.
void WritePrimaryIndex(const std::string& path, const std::vector<TChainBlockSummary>& blocks,
                       const TIndexHeaderInfo& info);

} // namespace engine::paradox
