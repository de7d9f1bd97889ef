// Writes blobs into a table's .mb: small ones into shared (suballocated) 4 KiB blocks, larger
// ones into blocks of their own, always at the end of the file, so blobs that records
// already point at are never touched. The caller makes the new blobs reachable (by putting
// a data file in place that refers to them) only after Finish() has flushed them; nothing
// reads the file for the blobs stored before Finish().
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/WritableFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine::paradox {

class TMemoWriter {
public:
    // A new .mb holding only its header block (an existing file is replaced).
    static std::unique_ptr<TMemoWriter> CreateNew(const std::string& path);
    // Appends to an existing .mb; creates it when it does not exist.
    static std::unique_ptr<TMemoWriter> OpenForAppend(const std::string& path);

    // Stores `bytes` as the value of a blob field of `fieldSize` bytes (leader + 10-byte
    // descriptor) and fills `field`. Empty bytes give a blank field.
    void Store(const std::string& bytes, std::uint8_t* field, int fieldSize);

    // Writes what is pending and the modification count, and flushes the file.
    void Finish();

private:
    explicit TMemoWriter(std::unique_ptr<TWritableFile> file);
    void FlushSubBlock();
    // Writes go through a run of consecutive blocks held until it is WriteRun long, one is
    // written elsewhere, or Finish.
    void Put(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size);
    void FlushPending();

    std::unique_ptr<TWritableFile> file_;
    std::uint64_t end_ = 0;         // next free offset (4 KiB aligned)
    std::uint16_t modCount_ = 1;
    std::vector<std::uint8_t> sub_; // suballocated block being filled
    std::uint64_t subOffset_ = 0;   // 0: none
    int nextSlot_ = 0;
    std::uint32_t nextData_ = 0;
    std::vector<std::uint8_t> pending_;  // file bytes from pendingStart_, not written yet
    std::uint64_t pendingStart_ = 0;
};

} // namespace engine::paradox
